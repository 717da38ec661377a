// The setters: what each stores, what it refuses, what it leaves alone.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;
using test::TestModel;

// A setter's reason for text that is no value of the setting.
const char kRefusalLine[] = "Unable to interpret value\n";
using C = SettingSetters;

constexpr std::uint32_t kEverything = 0x03FFFFFF;

TEST(ChargeSetters, StoreTheTypedDecimalValue) {
  struct Case {
    SetResult (SettingSetters::*setter)(const std::string&);
    const char* label;
    const char* text;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {&C::setAbsorptionVoltage, "absorption_voltage", "14.35", "059B"},
      {&C::setAbsorptionVoltage, "absorption_voltage", "13,8V", "0564"},
      {&C::setAbsorptionVoltage, "absorption_voltage", "17.4", "06CC"},  // not 17.39 V
      {&C::setFloatVoltage, "float_voltage", "9", "0384"},  // the range's ends are accepted
      {&C::setFloatVoltage, "float_voltage", "13.5", "0546"},
      {&C::setEqualisationVoltage, "equalisation_voltage", "16.2", "0654"},
      {&C::setTemperatureCompensation, "temperature_compensation", "-16,2", "F9AC"},
      {&C::setTemperatureCompensation, "temperature_compensation", "0", "0000"},
      {&C::setAbsorptionVoltage, "absorption_voltage", "13,8 V", "0564"},
      {&C::setTemperatureCompensation, "temperature_compensation", "-16.2 mV/K", "F9AC"},
      {&C::setCurrentLimit, "maximum_current", "15", "0096"},  // the 15 A rating
      {&C::setCurrentLimit, "maximum_current", "0.1", "0001"},
      {&C::setCurrentLimit, "maximum_current", "7.3A", "0049"},
      {&C::setCurrentLimit, "maximum_current", "7,5 A", "004B"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "6:30", "028A"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "24:00", "0960"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "0:59", "0062"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "6 h", "0258"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "0.35", "0023"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "4.1", "019A"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "0.7", "0046"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label) + " " + c.text);
    TestModel t(makeCapabilities(kEverything));
    EXPECT_EQ(t.set(c.setter, c.text), 0);
    EXPECT_EQ(t.value(c.label), c.stored);
    EXPECT_EQ(t.value("battery_type"), "FF");
    EXPECT_EQ(t.refusals, "");
  }
}

TEST(ChargeSetters, RefusedValueChangesNothingNotEvenTheBatteryType) {
  struct Case {
    SetResult (SettingSetters::*setter)(const std::string&);
    const char* label;
    const char* text;
    const char* err;
  };
  const std::vector<Case> cases = {
      {&C::setAbsorptionVoltage, "absorption_voltage", "", kRefusalLine},
      {&C::setAbsorptionVoltage, "absorption_voltage", "V13.8", kRefusalLine},
      {&C::setFloatVoltage, "float_voltage", "+13.8", kRefusalLine},
      {&C::setEqualisationVoltage, "equalisation_voltage", "x", kRefusalLine},
      {&C::setTemperatureCompensation, "temperature_compensation", "warm", kRefusalLine},
      {&C::setCurrentLimit, "maximum_current", "lots", kRefusalLine},
      // Nothing after the number is cut off.
      {&C::setAbsorptionVoltage, "absorption_voltage", "1,2,3", kRefusalLine},
      {&C::setCurrentLimit, "maximum_current", "2.5e1", kRefusalLine},
      {&C::setCurrentLimit, "maximum_current", "12.5%", kRefusalLine},
      {&C::setTemperatureCompensation, "temperature_compensation", "1e9", kRefusalLine},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "7:", kRefusalLine},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "6:-5", kRefusalLine},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "6:60", kRefusalLine},
      // Values outside the setting's range are refused, not clamped.
      {&C::setAbsorptionVoltage, "absorption_voltage", "144",
       "absorption voltage must be between 9.00 and 17.40 V, not 144 V\n"},
      {&C::setFloatVoltage, "float_voltage", "8.99",
       "float voltage must be between 9.00 and 17.40 V, not 8.99 V\n"},
      {&C::setEqualisationVoltage, "equalisation_voltage", "0",
       "equalisation voltage must be between 9.00 and 17.40 V, not 0 V\n"},
      {&C::setTemperatureCompensation, "temperature_compensation", "-30",
       "temperature compensation must be between -21.00 and 21.00 mV/K, not -30 mV/K\n"},
      {&C::setCurrentLimit, "maximum_current", "0",
       "current limit must be between 0.1 and 15.0 A, not 0 A\n"},
      {&C::setCurrentLimit, "maximum_current", "-5",
       "current limit must be between 0.1 and 15.0 A, not -5 A\n"},
      {&C::setCurrentLimit, "maximum_current", "1000",
       "current limit must be between 0.1 and 15.0 A, not 1000 A\n"},
      {&C::setCurrentLimit, "maximum_current", "0.05",
       "current limit must be between 0.1 and 15.0 A, not 0.05 A\n"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "0",
       "absorption time limit must be between 0:01 and 24:00, not 0:00\n"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "24:30",
       "absorption time limit must be between 0:01 and 24:00, not 24:30\n"},
      {&C::setAbsorptionTimeLimit, "absorption_time_limit", "30",
       "absorption time limit must be between 0:01 and 24:00, not 30:00\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label) + " '" + c.text + "'");
    TestModel t(makeCapabilities(kEverything));
    const std::string before = t.value(c.label);
    EXPECT_EQ(t.set(c.setter, c.text), 1);
    EXPECT_EQ(t.value(c.label), before);
    EXPECT_EQ(t.value("battery_type"), "01");
    EXPECT_EQ(t.refusals, c.err);
  }
}

// A charger that did not report its rating is held only to what its register can carry.
TEST(ChargeSetters, CurrentWithoutARatingIsCheckedOnlyAgainstTheRegister) {
  Capabilities caps = makeCapabilities(kEverything);
  caps.maxCurrent = 0;
  TestModel t(caps);
  EXPECT_EQ(t.set(&C::setCurrentLimit, "60"), 0);
  EXPECT_EQ(t.value("maximum_current"), "0258");
  EXPECT_EQ(t.set(&C::setCurrentLimit, "7000"), 1);
  EXPECT_EQ(t.set(&C::setCurrentLimit, "0"), 1);
  EXPECT_EQ(t.value("maximum_current"), "0258");
  EXPECT_EQ(t.refusals,
            "current limit must be between 0.1 and 6553.5 A, not 7000 A\n"
            "current limit must be between 0.1 and 6553.5 A, not 0 A\n");
}

TEST(ChargeSetters, FloatAboveAbsorptionIsJudgedOnlyOnValuesReadFromTheCharger) {
  struct Case {
    const char* floatVoltage;
    std::int32_t floatStatus;
    bool above;
  };
  const Case cases[] = {
      {"0564", VREG_OK, false},          // 13.80 V below 14.40 V
      {"05A0", VREG_OK, false},          // equal is allowed
      {"05A1", VREG_OK, true},           // 14.41 V
      {"05A1", VREG_GET_FAILED, false},  // not the charger's value: not judged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.floatVoltage);
    TestModel t(makeCapabilities(0));
    t.value("float_voltage") = c.floatVoltage;
    t.model.find("float_voltage").status = c.floatStatus;
    EXPECT_EQ(t.model.chargeVoltageConflict().has_value(), c.above);
  }
  TestModel t(makeCapabilities(0));
  t.value("float_voltage") = "05DC";
  EXPECT_EQ(t.model.chargeVoltageConflict(),
            "float voltage 15.00 V is above the absorption voltage 14.40 V: the float voltage may "
            "not exceed the absorption voltage");
}

TEST(Setters, MissingCapabilityFailsAtOnceWithoutTouchingAnything) {
  const std::vector<std::pair<SetResult (C::*)(const std::string&), const char*>> cases = {
      {&C::setEqualisationVoltage, "14"}, {&C::setCellGuardMode, "1"},
      {&C::setAutoEqualise, "1"},         {&C::setLightingController, "1"},
      {&C::setTxPortFunction, "0"},       {&C::setRxPortFunction, "0"},
  };
  for (const auto& c : cases) {
    TestModel t(makeCapabilities(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT));
    EXPECT_EQ(t.set(c.first, c.second), 1);
    EXPECT_EQ(t.value("battery_type"), "01");  // not marked user defined either
    EXPECT_EQ(t.refusals, "");
  }
}

TEST(Setters, LevelSettersDoNotMarkTheBatteryTypeUserDefined) {
  TestModel t(makeCapabilities(kEverything));
  EXPECT_EQ(t.set(&C::setLoadSwitchHigh, "13.2"), 0);
  EXPECT_EQ(t.set(&C::setLoadSwitchLow, "11,5"), 0);
  EXPECT_EQ(t.set(&C::setRelayOutputLowSet, "11.6"), 0);
  EXPECT_EQ(t.set(&C::setRelayOutputLowClear, "30"), 0);  // clamped to 17.40 V
  EXPECT_EQ(t.set(&C::setRelayOutputHighSet, "15.3"), 0);
  EXPECT_EQ(t.set(&C::setRelayOutputHighClear, "1"), 0);  // raised to 9.00 V
  EXPECT_EQ(t.set(&C::setRelayInputHighSet, "90"), 0);    // the 75 V panel rating
  EXPECT_EQ(t.set(&C::setRelayInputHighClear, "40.25"), 0);
  EXPECT_EQ(t.value("load_switch_high_level"), "0528");
  EXPECT_EQ(t.value("load_switch_low_level"), "047E");
  EXPECT_EQ(t.value("relay_output_low_voltage_set"), "0488");
  EXPECT_EQ(t.value("relay_output_low_voltage_clear"), "06CC");
  EXPECT_EQ(t.value("relay_output_high_voltage_set"), "05FA");
  EXPECT_EQ(t.value("relay_output_high_voltage_clear"), "0384");
  EXPECT_EQ(t.value("relay_input_high_voltage_set"), "1D4C");
  EXPECT_EQ(t.value("relay_input_high_voltage_clear"), "0FB9");
  EXPECT_EQ(t.value("battery_type"), "01");
  EXPECT_EQ(t.set(&C::setRelayInputHighSet, "0"), 1);
  EXPECT_EQ(t.set(&C::setRelayInputHighClear, "-3"), 1);
  EXPECT_EQ(t.set(&C::setLoadSwitchHigh, ""), 1);
  EXPECT_EQ(t.value("relay_input_high_voltage_set"), "1D4C");
  EXPECT_EQ(t.value("relay_input_high_voltage_clear"), "0FB9");
  EXPECT_EQ(t.refusals, std::string(kRefusalLine) + kRefusalLine);  // the -3 and the empty text
}

TEST(Setters, ExactZeroOrOneSwitches) {
  TestModel t(makeCapabilities(kEverything));
  EXPECT_EQ(t.set(&C::setCellGuardMode, "1"), 0);
  EXPECT_EQ(t.value("cellguard_mode"), "01");
  EXPECT_EQ(t.set(&C::setCellGuardMode, "on"), 1);
  EXPECT_EQ(t.set(&C::setCellGuardMode, "1 "), 1);
  EXPECT_EQ(t.refusals, std::string(kRefusalLine) + kRefusalLine);
  EXPECT_EQ(t.value("cellguard_mode"), "01");
  EXPECT_EQ(t.set(&C::setCellGuardMode, "0"), 0);
  EXPECT_EQ(t.value("cellguard_mode"), "00");

  t.refusals.clear();
  t.value("load_control") = "03";
  EXPECT_EQ(t.set(&C::setLightingController, "1"), 0);
  EXPECT_EQ(t.value("load_control"), "83");
  EXPECT_EQ(t.set(&C::setLightingController, "yes"), 1);
  EXPECT_EQ(t.refusals, kRefusalLine);
  EXPECT_EQ(t.set(&C::setLightingController, "0"), 0);
  EXPECT_EQ(t.value("load_control"), "03");
  EXPECT_EQ(t.value("battery_type"), "01");
}

TEST(WholeIntegerSetters, AllowedValuesAndMessages) {
  struct Case {
    const char* what;
    std::uint32_t flags;
    SetResult (C::*setter)(const std::string&);
    const char* label;
    const char* before;
    const char* text;
    int result;
    const char* stored;  // the value after the call
    const char* err;
  };
  const std::uint32_t load = SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT;
  const std::uint32_t timer = load | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER;
  const std::uint32_t eq = SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE;
  const std::uint32_t tx = SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION;
  const std::uint32_t rx = SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION;
  const std::uint32_t relay = SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1;
  const std::vector<Case> cases = {
      {"autoeq 250", eq, &C::setAutoEqualise, "auto_equalise", "00", "250", 0, "FA", ""},
      {"autoeq 300", eq, &C::setAutoEqualise, "auto_equalise", "00", "300", 1, "00", kRefusalLine},
      {"autoeq blank first", eq, &C::setAutoEqualise, "auto_equalise", "00", " 2", 1, "00",
       kRefusalLine},
      {"autoeq -1", eq, &C::setAutoEqualise, "auto_equalise", "00", "-1", 1, "00", kRefusalLine},
      {"autoeq +7", eq, &C::setAutoEqualise, "auto_equalise", "00", "+7", 0, "07", ""},
      {"load mode keeps the timer bit", timer | SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH,
       &C::setLoadMode, "load_control", "81", "6", 0, "86", ""},
      {"load mode 5 needs a user switch", load, &C::setLoadMode, "load_control", "01", "5", 1, "01",
       kRefusalLine},
      {"load mode 4 always", load, &C::setLoadMode, "load_control", "01", "4", 0, "04", ""},
      {"load mode 7 needs the energy selector", load | SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH,
       &C::setLoadMode, "load_control", "01", "7", 1, "01", kRefusalLine},
      {"load mode 7 with the energy selector", load | SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE,
       &C::setLoadMode, "load_control", "01", "7", 0, "07", ""},
      {"load mode 2V", load, &C::setLoadMode, "load_control", "01", "2V", 1, "01", kRefusalLine},
      {"tx 1", tx, &C::setTxPortFunction, "port_tx_function", "00", "1", 0, "01", ""},
      {"tx 3 needs the timer", tx, &C::setTxPortFunction, "port_tx_function", "00", "3", 1, "00",
       kRefusalLine},
      {"tx 3 with the timer", tx | timer, &C::setTxPortFunction, "port_tx_function", "00", "3", 0,
       "03", ""},
      {"tx 4 needs a virtual load", tx | load, &C::setTxPortFunction, "port_tx_function", "00", "4",
       1, "00", kRefusalLine},
      {"tx 4", tx | SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT, &C::setTxPortFunction,
       "port_tx_function", "00", "4", 0, "04", ""},
      {"tx 5 needs a virtual relay", tx | relay, &C::setTxPortFunction, "port_tx_function", "00",
       "5", 1, "00", kRefusalLine},
      {"tx 5", tx | SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY, &C::setTxPortFunction,
       "port_tx_function", "00", "5", 0, "05", ""},
      {"tx 6", kEverything, &C::setTxPortFunction, "port_tx_function", "00", "6", 1, "00",
       kRefusalLine},
      {"rx 2", rx, &C::setRxPortFunction, "port_rx_function", "00", "2", 0, "02", ""},
      {"rx 3", rx | load, &C::setRxPortFunction, "port_rx_function", "00", "3", 1, "00",
       kRefusalLine},
      {"relay 10 with a load output", relay | load, &C::setRelayMode, "relay_mode", "00", "10", 0,
       "0A", ""},
      {"relay 10 without a load output", relay, &C::setRelayMode, "relay_mode", "00", "10", 1, "00",
       kRefusalLine},
      {"relay 9", relay, &C::setRelayMode, "relay_mode", "00", "9", 0, "09", ""},
      // The charger's relay mode register is one byte wide; a four-byte write would be refused.
      {"relay mode is stored as one byte", relay, &C::setRelayMode, "relay_mode", "00000003", "7",
       0, "07", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestModel t(makeCapabilities(c.flags));
    t.value(c.label) = c.before;
    EXPECT_EQ(t.set(c.setter, c.text), c.result);
    EXPECT_EQ(t.value(c.label), c.stored);
    EXPECT_EQ(t.refusals, c.err);
    EXPECT_EQ(t.value("battery_type"), "01");
  }
}

// A 12 V charger rated 12 to 24 V at absorption 14.40 V, float 13.80 V, -16.20 mV/K.
TEST(SetBatteryVoltage, RescalesEveryVoltageWithTheSystemVoltage) {
  TestModel t(makeCapabilities(kEverything));
  t.value("relay_input_high_voltage_set") = "1388";
  ASSERT_EQ(t.set(&C::setBatteryVoltage, "24"), 0);
  EXPECT_EQ(t.value("battery_voltage_setting"), "18");
  EXPECT_EQ(t.value("battery_voltage"), "18");
  EXPECT_EQ(t.value("absorption_voltage"), "0B40");        // 28.80 V
  EXPECT_EQ(t.value("float_voltage"), "0AC8");             // 27.60 V
  EXPECT_EQ(t.value("equalisation_voltage"), "0CA8");      // 32.40 V
  EXPECT_EQ(t.value("temperature_compensation"), "F358");  // -32.40 mV/K
  EXPECT_EQ(t.value("load_switch_high_level"), "0A28");
  EXPECT_EQ(t.value("load_switch_low_level"), "08D4");
  EXPECT_EQ(t.value("relay_output_low_voltage_set"), "0910");
  EXPECT_EQ(t.value("relay_output_low_voltage_clear"), "0960");
  EXPECT_EQ(t.value("relay_output_high_voltage_set"), "0BE0");
  EXPECT_EQ(t.value("relay_output_high_voltage_clear"), "0BB8");
  EXPECT_EQ(t.value("relay_input_high_voltage_set"), "1388");  // panel levels stay
  EXPECT_EQ(t.value("battery_type"), "01");
  EXPECT_EQ(t.model.systemVoltage(), 24);

  ASSERT_EQ(t.set(&C::setBatteryVoltage, "12"), 0);
  EXPECT_EQ(t.value("absorption_voltage"), "05A0");
  EXPECT_EQ(t.value("float_voltage"), "0564");
  EXPECT_EQ(t.value("temperature_compensation"), "F9AC");
  EXPECT_EQ(t.value("battery_voltage"), "0C");
  EXPECT_EQ(t.refusals, "");
}

TEST(SetBatteryVoltage, RescalesOnlyTheRowsTheChargerHas) {
  TestModel t(makeCapabilities(0));
  t.value("battery_voltage") = "00";  // still detecting: judged 12 V by the charge voltages
  // A row the charger answered it does not have is no voltage of the charger's.
  Vreg& lacked = t.model.find("temperature_compensation");
  lacked.status = VREG_SKIPPED;
  lacked.absentFromCharger = true;
  ASSERT_EQ(t.set(&C::setBatteryVoltage, "24"), 0);
  EXPECT_EQ(t.value("absorption_voltage"), "0B40");
  EXPECT_EQ(t.value("float_voltage"), "0AC8");
  EXPECT_EQ(t.value("temperature_compensation"), "F9AC");
  EXPECT_EQ(t.value("battery_voltage"), "18");
}

TEST(SetBatteryVoltage, AutoDetectChangesOnlyTheSetting) {
  TestModel t(makeCapabilities(kEverything));
  ASSERT_EQ(t.set(&C::setBatteryVoltage, "0"), 0);
  EXPECT_EQ(t.value("battery_voltage_setting"), "00");
  EXPECT_EQ(t.value("battery_voltage"), "0C");
  EXPECT_EQ(t.value("absorption_voltage"), "05A0");
}

TEST(SetBatteryVoltage, RefusesTextsAndVoltagesOutsideTheRating) {
  for (const char* text : {"36", "48", "24V", " 24", "6", "", "012", "24.0"}) {
    SCOPED_TRACE(text);
    TestModel t(makeCapabilities(kEverything));
    EXPECT_EQ(t.set(&C::setBatteryVoltage, text), 1);
    EXPECT_EQ(t.value("battery_voltage_setting"), "0C");
    EXPECT_EQ(t.value("absorption_voltage"), "05A0");
    EXPECT_EQ(t.refusals, kRefusalLine);
  }
}

TEST(SetBatteryVoltage, MissingSettingIsCaughtAndReported) {
  TestModel t(makeCapabilities(0));
  t.model.settings.clear();
  const SetResult result = t.setters.setBatteryVoltage("12");
  EXPECT_EQ(result.kind(), SetResult::Kind::listFault);
  EXPECT_EQ(result.why(), "Unable to interpret value");
}

// Firmware 1.09 to 1.11 cannot have its system voltage written back: the setting is a preset
// that restore passes over. Rescaling the voltages anyway would store 24 V charge voltages in a
// charger that stays at 12 V.
TEST(SetBatteryVoltage, RefusedWhenTheChargerWouldNeverReceiveTheVoltage) {
  for (std::uint16_t firmware : {0x109, 0x111}) {
    SCOPED_TRACE(firmware);
    TestModel t(makeCapabilities(0, firmware));
    // As retrieve leaves it: the preset is never confirmed.
    t.value("battery_voltage_setting") = "00";
    t.model.find("battery_voltage_setting").status = VREG_UNKNOWN;
    EXPECT_EQ(t.set(&C::setBatteryVoltage, "24"), 1);
    EXPECT_EQ(t.refusals, kRefusalLine);
    EXPECT_EQ(t.value("battery_voltage_setting"), "00");
    EXPECT_EQ(t.value("battery_voltage"), "0C");
    EXPECT_EQ(t.value("absorption_voltage"), "05A0");
    EXPECT_EQ(t.set(&C::setBatteryVoltage, "0"), 0);
  }
  // Firmware up to 1.08 writes the setting through register 0xEDEF: allowed.
  TestModel old(makeCapabilities(0, 0x108));
  EXPECT_EQ(old.set(&C::setBatteryVoltage, "24"), 0);
  EXPECT_EQ(old.value("battery_voltage_setting"), "18");
  // A setting whose read failed is not written by restore either.
  TestModel failed(makeCapabilities(0, 0x116));
  failed.model.find("battery_voltage_setting").status = VREG_GET_FAILED;
  EXPECT_EQ(failed.set(&C::setBatteryVoltage, "24"), 1);
  EXPECT_EQ(failed.value("absorption_voltage"), "05A0");
}

TEST(UseFactoryTable, WithoutARotarySwitchTheTableIsOne) {
  TestModel t(makeCapabilities(0));
  t.value("battery_type") = "FF";
  EXPECT_EQ(t.model.useFactoryTable(), 0);
  EXPECT_EQ(t.value("battery_type"), "01");
}

}  // namespace
}  // namespace sunlink
