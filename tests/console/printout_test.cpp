// The settings printout for several kinds of charger.

#include "console/printout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/charger/model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;
using test::TestModel;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
  return std::find(all.begin(), all.end(), line) != all.end();
}

TEST(PrintSettings, LoadChargerWithStreetLightTimer) {
  TestModel t(makeCapabilities(
      SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT |
          SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER | SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION |
          SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH | SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT,
      0x116, 2));
  t.value("battery_type") = "FF";
  t.value("load_control") = "85";
  t.value("lighting_event1") = "64010000";
  t.value("lighting_event2") = "0001012C";
  t.value("midpoint_shift") = "FFFF";
  t.value("dim_speed") = "01";
  t.value("panel_voltage_night") = "0474";
  t.value("panel_voltage_day") = "04A6";
  t.value("port_tx_function") = "02";
  printSettings(t.model, t.out);
  EXPECT_EQ(t.out.str(),
            "MPPT 75/15 application v1.16\n"
            "\n"
            "Battery Type = User Defined\n"
            "Battery Voltage Setting = 12V, auto detect OFF\n"
            "Battery Absorption Voltage = 14.40V\n"
            "Battery Float Voltage = 13.80V\n"
            "Temperature Compensation = -16.20mV/K\n"
            "Absorption time limit = 06:00 hours\n"
            "Charger Current Limit = 15.0A\n"
            "Load output control = user defined algorithm 1 (off<11.30V, on>13.00V)\n"
            "Solar timer mode on\n"
            "Event 1: at sunset switch on (100%)\n"
            "Event 2: 05:00 after sunset switch off\n"
            "Mid-point shift = -1 minutes\n"
            "Gradual dimming = 1% per 1 second\n"
            "Night/day detection night: Vpanel<11.40V, day: Vpanel>11.90V\n"
            "SunLink TX Port function = Light dimming control (pwm normal)\n");
  EXPECT_EQ(t.err.str(), "");
}

TEST(PrintSettings, RotaryChargerWithRelay) {
  TestModel t(makeCapabilities(
      SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER | SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT |
      SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE | SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1 |
      SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION | SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE));
  t.value("battery_voltage") = "18";
  t.value("battery_voltage_setting") = "00";
  t.value("battery_type") = "03";
  t.value("cellguard_mode") = "01";
  t.value("auto_equalise") = "02";
  t.value("relay_mode") = "03";
  t.value("relay_min_enabled") = "0001";
  t.value("port_rx_function") = "01";
  printSettings(t.model, t.out);
  EXPECT_EQ(t.out.str(),
            "MPPT 75/15 application v1.16\n"
            "\n"
            "Battery Type = Rotary switch position 2\n"
            "Battery Voltage Setting = Auto detect (at power-up), detected 24V\n"
            "CellGuard mode = on\n"
            "Charger Current Limit = 15.0A\n"
            "Automatic equalisation = on (every 2 days)\n"
            "Alarm relay function = battery voltage low (on<11.60V, off>12.00V)\n"
            "Alarm relay minimum enabled = 1 minute\n"
            "SunLink RX Port function = <unsupported>\n");
}

TEST(PrintSettings, BatteryTypeAndVoltageLines) {
  const std::uint32_t rotary = SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER;
  const std::uint32_t eq = SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE;
  struct Case {
    std::uint32_t flags;
    const char* batteryVoltage;
    const char* setting;
    const char* type;
    const char* absorption;
    std::vector<std::string> expected;  // lines 3 and 4 of the printout
    // The other charge voltages as read (by default the 12 V factory table's), whether the float
    // voltage was read, and whether the factory table was chosen in this run.
    const char* floatVoltage = "0564";
    const char* equalisation = "0654";
    std::int32_t floatStatus = VREG_OK;
    bool tableChosen = false;
  };
  const std::vector<Case> cases = {
      {0,
       "18",
       "18",
       "01",
       "0B40",
       {"Battery Type = Factory Defined (abs=28.80V, float=27.60V)",
        "Battery Voltage Setting = 24V, auto detect OFF"},
       "0AC8"},
      {eq,
       "18",
       "18",
       "01",
       "0B40",
       {"Battery Type = Factory Defined (abs=28.80V, float=27.60V, eqv=32.40V)",
        "Battery Voltage Setting = 24V, auto detect OFF"},
       "0AC8",
       "0CA8"},
      {rotary,
       "0C",
       "0C",
       "FF",
       "05A0",
       {"Battery Type = User Defined (Rotary switch disabled)",
        "Battery Voltage Setting = 12V, auto detect OFF"}},
      {rotary,
       "0C",
       "0C",
       "01",
       "05A0",
       {"Battery Type = Rotary switch position 0",
        "Battery Voltage Setting = 12V, auto detect OFF"}},
      {rotary,
       "0C",
       "0C",
       "09",
       "05A0",
       {"Battery Type = Rotary switch", "Battery Voltage Setting = 12V, auto detect OFF"}},
      {rotary,
       "0C",
       "0C",
       "00",
       "05A0",
       {"Battery Type = Rotary switch", "Battery Voltage Setting = 12V, auto detect OFF"}},
      {0,
       "00",
       "00",
       "01",
       "05A0",
       {"Battery Type = Factory Defined (abs=14.40V, float=13.80V)",
        "Battery Voltage Setting = Auto detect (at power-up), detected 12V"}},
      {0,
       "00",
       "00",
       "01",
       "1680",
       {"Battery Type = Factory Defined (abs=57.60V, float=55.20V)",
        "Battery Voltage Setting = Auto detect (at power-up), detected 48V"},
       "1590"},
      {0,
       "24",
       "24",
       "01",
       "10E0",
       {"Battery Type = Factory Defined (abs=43.20V, float=41.40V)",
        "Battery Voltage Setting = 36V, auto detect OFF"},
       "102C"},
      // A preset table other than the factory default: the charger's own voltages.
      {eq,
       "0C",
       "0C",
       "03",
       "058C",
       {"Battery Type = Factory Defined (abs=14.20V, float=13.50V, eqv=16.00V)",
        "Battery Voltage Setting = 12V, auto detect OFF"},
       "0546",
       "0640"},
      // A voltage that could not be read gives the table's; the others stay the charger's.
      {0,
       "0C",
       "0C",
       "03",
       "058C",
       {"Battery Type = Factory Defined (abs=14.20V, float=13.80V)",
        "Battery Voltage Setting = 12V, auto detect OFF"},
       "0546",
       "0654",
       VREG_GET_FAILED},
      // The table chosen in this run (--table, menu t): the charger will charge at its values.
      {eq,
       "0C",
       "0C",
       "FF",
       "058C",
       {"Battery Type = Factory Defined (abs=14.40V, float=13.80V, eqv=16.20V)",
        "Battery Voltage Setting = 12V, auto detect OFF"},
       "0546",
       "0640",
       VREG_OK,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected[0]);
    TestModel t(makeCapabilities(c.flags));
    t.value("battery_voltage") = c.batteryVoltage;
    t.value("battery_voltage_setting") = c.setting;
    t.value("battery_type") = c.type;
    t.value("absorption_voltage") = c.absorption;
    t.value("float_voltage") = c.floatVoltage;
    if ((c.flags & eq) != 0) t.value("equalisation_voltage") = c.equalisation;
    t.model.find("float_voltage").status = c.floatStatus;
    if (c.tableChosen) t.model.useFactoryTable();
    printSettings(t.model, t.out);
    const std::vector<std::string> all = lines(t.out.str());
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(all.begin() + 2, all.begin() + 4), c.expected);
    // The charge settings are shown only while the user's own values are in force.
    const bool userDefined = std::string(c.type) == "FF" && !c.tableChosen;
    EXPECT_EQ(hasLine(all, "Temperature Compensation = -16.20mV/K"), userDefined);
  }
}

TEST(PrintSettings, AbsorptionTimeLimit) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"028A", "Absorption time limit = 06:30 hours"},
      {"09C4", "Absorption time limit = --:-- hours"},  // 25 hours
      {"019A", "Absorption time limit = 04:06 hours"},  // 4.1 h is 246 minutes, not 245
      {"00CD", "Absorption time limit = 02:03 hours"},  // 2.05 h, as the m screen shows it
      {"0000", "Absorption time limit = 00:00 hours"},
  };
  for (const auto& c : cases) {
    TestModel t(makeCapabilities(0));
    t.value("battery_type") = "FF";
    t.value("absorption_time_limit") = c.first;
    printSettings(t.model, t.out);
    EXPECT_TRUE(hasLine(lines(t.out.str()), c.second)) << t.out.str();
  }
}

TEST(PrintSettings, OptionalLines) {
  const std::uint32_t load = SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT;
  const std::uint32_t timer = load | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER;
  const std::uint32_t userSwitch = SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH;
  const std::uint32_t aes = SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE;
  const std::uint32_t relay = SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY;
  const std::uint32_t tx = SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION;
  const std::uint32_t rx = SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION;
  struct Case {
    const char* what;
    std::uint32_t flags;
    std::uint8_t streetlight;
    std::vector<std::pair<const char*, const char*>> values;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"timer on without events",
       timer,
       1,
       {{"load_control", "81"}},
       {"Load output control = cellcare algorithm", "Solar timer mode on", "No events defined"},
       {}},
      {"timer off",
       timer,
       1,
       {{"load_control", "01"}},
       {"Load output control = cellcare algorithm"},
       {"Solar timer mode on", "No events defined"}},
      {"timer bit on a charger without a timer",
       load,
       0,
       {{"load_control", "81"}},
       {"Load output control = cellcare algorithm"},
       {"Solar timer mode on"}},
      {"one event",
       timer,
       1,
       {{"load_control", "80"}, {"lighting_event3", "0002FF88"}},
       {"Load output control = load output off", "Event 3: 02:00 before sunrise switch off"},
       {"No events defined"}},
      {"mid-point shift of one minute",
       timer,
       1,
       {{"load_control", "81"}, {"midpoint_shift", "0001"}},
       {"Mid-point shift = 1 minute"},
       {}},
      {"no mid-point shift, no dimming, one night/day level only",
       timer,
       2,
       {{"load_control", "81"}, {"panel_voltage_night", "0474"}},
       {},
       {"Mid-point shift = 0 minutes", "Gradual dimming = 1% per 0 seconds",
        "Night/day detection night: Vpanel<11.40V, day: Vpanel>0.00V"}},
      {"dimming and delays",
       timer,
       3,
       {{"load_control", "81"},
        {"dim_speed", "09"},
        {"sunset_delay", "0001"},
        {"sunrise_delay", "001E"}},
       {"Gradual dimming = 1% per 9 seconds", "Sunset delay duration = 1 minute",
        "Sunrise delay duration = 30 minutes"},
       {}},
      {"conventional 2 at 24 V",
       load,
       0,
       {{"load_control", "03"}, {"battery_voltage", "18"}},
       {"Load output control = conventional algorithm 2 (off<23.60V, on>28.00V)"},
       {}},
      {"mode 5 without a user switch",
       load,
       0,
       {{"load_control", "05"}},
       {"Load output control = <unsupported>"},
       {}},
      {"mode 6",
       load | userSwitch,
       0,
       {{"load_control", "06"}},
       {"Load output control = user defined algorithm 2 (off<11.30V<on<13.00V<off)"},
       {}},
      {"mode 7 without the energy selector",
       load | userSwitch,
       0,
       {{"load_control", "07"}},
       {"Load output control = <unsupported>"},
       {}},
      {"mode 7",
       load | aes,
       0,
       {{"load_control", "07"}, {"automatic_energy_selector_timer", "005A"}},
       {"Load output control = user defined algorithm 1 (off<11.30V, on>13.00V, time=01:30)"},
       {}},
      {"bit 3 set",
       load | aes,
       0,
       {{"load_control", "0F"}},
       {"Load output control = <unknown>"},
       {}},
      {"relay remote control",
       relay,
       0,
       {{"relay_mode", "FF"}},
       {"Alarm relay function = remote control"},
       {"Alarm relay minimum enabled = 0 minutes"}},
      {"relay unknown",
       relay,
       0,
       {{"relay_mode", "0B"}, {"relay_min_enabled", "0005"}},
       {"Alarm relay function = <unknown>", "Alarm relay minimum enabled = 5 minutes"},
       {}},
      {"relay panel voltage",
       relay,
       0,
       {{"relay_mode", "01"}},
       {"Alarm relay function = panel voltage high (off<45.00V, on>50.00V)"},
       {}},
      {"relay battery high",
       relay,
       0,
       {{"relay_mode", "07"}},
       {"Alarm relay function = battery voltage high (off<15.00V, on>15.20V)"},
       {}},
      {"tx dimming without a timer",
       tx,
       0,
       {{"port_tx_function", "03"}},
       {"SunLink TX Port function = <unsupported>"},
       {}},
      {"tx virtual relay",
       tx | relay,
       0,
       {{"port_tx_function", "05"}},
       {"SunLink TX Port function = Virtual relay"},
       {}},
      {"tx unknown",
       tx,
       0,
       {{"port_tx_function", "06"}},
       {"SunLink TX Port function = <unknown>"},
       {}},
      {"rx load normal",
       rx | load,
       0,
       {{"port_rx_function", "03"}},
       {"SunLink RX Port function = Load output on/off (normal)"},
       {}},
      {"rx unknown",
       rx | load,
       0,
       {{"port_rx_function", "04"}},
       {"SunLink RX Port function = <unknown>"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestModel t(makeCapabilities(c.flags, 0x116, c.streetlight));
    for (const auto& v : c.values) t.value(v.first) = v.second;
    printSettings(t.model, t.out);
    const std::vector<std::string> all = lines(t.out.str());
    for (const std::string& line : c.present) EXPECT_TRUE(hasLine(all, line)) << line;
    for (const std::string& line : c.absent) EXPECT_FALSE(hasLine(all, line)) << line;
  }
}

TEST(PrintSettings, LeavesTheStreamsNumberFormatAlone) {
  TestModel t(makeCapabilities(0));
  printSettings(t.model, t.out);
  t.out.str("");
  t.out << 1.5 << ' ' << 2.0;
  EXPECT_EQ(t.out.str(), "1.5 2");
}

}  // namespace
}  // namespace sunlink
