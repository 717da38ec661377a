// Which settings a charger gets, in which order, with which registers and scales.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;

std::vector<std::string> labels(const ChargerSettings& model) {
  std::vector<std::string> result;
  for (const Vreg& vreg : model.settings.vregs()) result.push_back(vreg.label);
  return result;
}

const std::vector<std::string> kAlways = {
    "battery_voltage",          "maximum_current",         "bulk_time_limit",
    "absorption_time_limit",    "absorption_voltage",      "float_voltage",
    "temperature_compensation", "battery_voltage_setting", "battery_type"};

TEST(RegisterMap, FullChargerHasEveryRowInOrderWithItsRegistersAndScale) {
  ChargerSettings model(makeCapabilities(0x03FFFFFF, 0x116, 3), nullptr);
  struct Row {
    const char* label;
    std::uint32_t get;
    std::uint32_t set;
    double scale;
  };
  const std::vector<Row> expected = {
      {"battery_voltage", 0xEDEF, 0xEDEF, 1},
      {"maximum_current", 0xEDF0, 0xEDF0, 10},
      {"bulk_time_limit", 0xEDFC, REG_NONE, 1},
      {"absorption_time_limit", 0xEDFB, 0xEDFB, 100},
      {"absorption_voltage", 0xEDF7, 0xEDF7, 100},
      {"float_voltage", 0xEDF6, 0xEDF6, 100},
      {"equalisation_voltage", 0xEDF4, 0xEDF4, 100},
      {"temperature_compensation", 0xEDF2, 0xEDF2, 100},
      {"load_switch_high_level", 0xED9D, 0xED9D, 100},
      {"load_switch_low_level", 0xED9C, 0xED9C, 100},
      {"automatic_energy_selector_timer", 0xED90, REG_NONE, 1},
      {"relay_output_low_voltage_set", 0x0350, 0x0350, 100},
      {"relay_output_low_voltage_clear", 0x0351, 0x0351, 100},
      {"relay_output_high_voltage_set", 0x0352, 0x0352, 100},
      {"relay_output_high_voltage_clear", 0x0353, 0x0353, 100},
      {"battery_voltage_setting", 0xEDEA, 0xEDEF, 1},
      {"cellguard_mode", 0xEDFF, REG_NONE, 1},
      {"auto_equalise", 0xEDFD, REG_NONE, 1},
      {"battery_type", 0xEDF1, REG_NONE, 1},
      {"load_control", 0xEDAB, REG_NONE, 1},
      {"lighting_event1", 0xEDA0, REG_NONE, 1},
      {"lighting_event2", 0xEDA1, REG_NONE, 1},
      {"lighting_event3", 0xEDA2, REG_NONE, 1},
      {"lighting_event4", 0xEDA3, REG_NONE, 1},
      {"lighting_event5", 0xEDA4, REG_NONE, 1},
      {"lighting_event6", 0xEDA5, REG_NONE, 1},
      {"midpoint_shift", 0xEDA7, REG_NONE, 1},
      {"dim_speed", 0xED9B, REG_NONE, 1},
      {"panel_voltage_night", 0xED9A, 0xED9A, 100},
      {"panel_voltage_day", 0xED99, 0xED99, 100},
      {"sunset_delay", 0xED96, REG_NONE, 1},
      {"sunrise_delay", 0xED97, REG_NONE, 1},
      {"port_tx_function", 0xED9E, REG_NONE, 1},
      {"port_rx_function", 0xED98, REG_NONE, 1},
      {"relay_mode", 0xEDD9, REG_NONE, 1},
      {"relay_input_high_voltage_set", 0xEDBA, 0xEDBA, 100},
      {"relay_input_high_voltage_clear", 0xEDB9, 0xEDB9, 100},
      {"relay_min_enabled", 0x100A, REG_NONE, 1},
  };
  const std::vector<Vreg>& vregs = model.settings.vregs();
  ASSERT_EQ(vregs.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].label);
    EXPECT_EQ(vregs[i].label, expected[i].label);
    EXPECT_EQ(vregs[i].get, expected[i].get);
    EXPECT_EQ(vregs[i].set, expected[i].set);
    EXPECT_EQ(vregs[i].scale, expected[i].scale);
    EXPECT_EQ(vregs[i].verify, REG_NONE);
    EXPECT_EQ(vregs[i].status, VREG_UNKNOWN);
    EXPECT_TRUE(vregs[i].value.empty());
    EXPECT_TRUE(vregs[i].group.empty());
    EXPECT_TRUE(vregs[i].conditions.empty());
  }
  EXPECT_TRUE(model.settings.loaded);
  EXPECT_FALSE(model.settings.retrieved);
}

TEST(RegisterMap, CapabilitiesChooseTheRows) {
  using V = std::vector<std::string>;
  struct Case {
    const char* what;
    std::uint32_t flags;
    std::uint8_t streetlight;
    V expected;
  };
  const V relayOutputs = {"relay_output_low_voltage_set", "relay_output_low_voltage_clear",
                          "relay_output_high_voltage_set", "relay_output_high_voltage_clear"};
  const V relayTail = {"relay_mode", "relay_input_high_voltage_set",
                       "relay_input_high_voltage_clear", "relay_min_enabled"};
  const V events = {"lighting_event1", "lighting_event2", "lighting_event3", "lighting_event4",
                    "lighting_event5", "lighting_event6", "midpoint_shift"};
  auto join = [](std::initializer_list<V> parts) {
    V all;
    for (const V& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const V head = {"battery_voltage",       "maximum_current",    "bulk_time_limit",
                  "absorption_time_limit", "absorption_voltage", "float_voltage"};
  const V tempcomp = {"temperature_compensation"};
  const V setting = {"battery_voltage_setting"};
  const V type = {"battery_type"};
  const std::vector<Case> cases = {
      {"no optional feature", 0, 0, kAlways},
      {"user load switch without the energy selector", SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH, 0,
       join({head, tempcomp, {"load_switch_high_level", "load_switch_low_level"}, setting, type})},
      {"energy selector alone brings the switch levels and its timer",
       SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE, 0,
       join({head,
             tempcomp,
             {"load_switch_high_level", "load_switch_low_level", "automatic_energy_selector_timer"},
             setting,
             type})},
      {"virtual relay: the voltage setting follows the relay levels",
       SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY, 0,
       join({head, tempcomp, relayOutputs, setting, type, relayTail})},
      {"virtual load output", SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT, 0,
       join({head, tempcomp, setting, type, {"load_control"}})},
      {"auto equalise", SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE, 0,
       join({head, {"equalisation_voltage"}, tempcomp, setting, {"auto_equalise"}, type})},
      {"solar timer, street-light version 1",
       SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER, 1,
       join({kAlways, {"load_control"}, events})},
      {"solar timer, street-light version 2",
       SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER, 2,
       join({kAlways,
             {"load_control"},
             events,
             {"dim_speed", "panel_voltage_night", "panel_voltage_day"}})},
      {"street-light version 3 without a solar timer", SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT, 3,
       join({kAlways, {"load_control"}})},
      {"port functions and cellguard",
       SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION | SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION |
           SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE,
       0,
       join({head,
             tempcomp,
             setting,
             {"cellguard_mode"},
             type,
             {"port_tx_function", "port_rx_function"}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChargerSettings model(makeCapabilities(c.flags, 0x116, c.streetlight), nullptr);
    EXPECT_EQ(labels(model), c.expected);
  }
}

TEST(RegisterMap, FirmwareChoosesTheBatteryVoltageRegistersAndPresets) {
  struct Case {
    std::uint16_t firmware;
    std::uint32_t voltageGet, voltageSet;
    const char* voltagePreset;
    std::uint32_t settingGet, settingSet;
    const char* settingPreset;
  };
  const std::vector<Case> cases = {
      {0x100, REG_NONE, REG_NONE, "00", 0xEDEF, 0xEDEF, ""},
      {0x108, REG_NONE, REG_NONE, "00", 0xEDEF, 0xEDEF, ""},
      {0x109, 0xEDEF, REG_NO_ACCESS, "", REG_NONE, 0xEDEF, "00"},
      {0x111, 0xEDEF, REG_NO_ACCESS, "", REG_NONE, 0xEDEF, "00"},
      {0x112, 0xEDEF, 0xEDEF, "", 0xEDEA, 0xEDEF, ""},
      {0x117, 0xEDEF, 0xEDEF, "", 0xEDEA, 0xEDEF, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "firmware 0x" << std::hex << c.firmware);
    ChargerSettings model(makeCapabilities(0, c.firmware), nullptr);
    const Vreg& voltage = model.find("battery_voltage");
    EXPECT_EQ(voltage.get, c.voltageGet);
    EXPECT_EQ(voltage.set, c.voltageSet);
    EXPECT_EQ(voltage.value, c.voltagePreset);
    const Vreg& setting = model.find("battery_voltage_setting");
    EXPECT_EQ(setting.get, c.settingGet);
    EXPECT_EQ(setting.set, c.settingSet);
    EXPECT_EQ(setting.value, c.settingPreset);
    // Presets are not confirmed values: retrieve leaves their status as it finds it.
    EXPECT_EQ(setting.status, VREG_UNKNOWN);
    EXPECT_EQ(labels(model), kAlways);
  }
}

}  // namespace
}  // namespace sunlink
