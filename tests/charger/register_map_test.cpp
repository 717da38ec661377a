// Which settings a charger gets, in which order, and the battery voltage rows by firmware.

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
