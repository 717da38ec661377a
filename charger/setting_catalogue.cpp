#include "charger/setting_catalogue.h"

#include <cstring>

#include "charger/value_text.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// --- What the charger can hold -----------------------------------------------------------------

// What a battery of the system voltage may be charged at, and its switching levels set to.
std::optional<SettingLimits> batteryVolts(const ChargerAtHand& c) {
  return SettingLimits{c.systemVoltage * 75 / 100.0, c.systemVoltage * 145 / 100.0};
}

// Up to firmware 1.16 from -21 to 21 mV/K for 12 V; later firmware accepts only compensation that
// lowers the voltage as the battery warms, down to -30.
std::optional<SettingLimits> compensation(const ChargerAtHand& c) {
  const bool early = c.capabilities.firmwareVersion <= 0x116;
  const int v = c.systemVoltage;
  return SettingLimits{(early ? -21.0 : -30.0) * v / 12, early ? 21.0 * v / 12 : 0.0};
}

// A charger that did not report its rating is held only to what the register carries.
std::optional<SettingLimits> current(const ChargerAtHand& c) {
  if (c.capabilities.maxCurrent <= 0) return SettingLimits{0.1, 0xFFFF / 10.0};
  return SettingLimits{0.1, c.capabilities.maxCurrent};
}

std::optional<SettingLimits> absorptionHours(const ChargerAtHand&) { return SettingLimits{0, 24}; }

// 0 is a level of its own for the night/day detection: the built-in default.
std::optional<SettingLimits> panelVolts(const ChargerAtHand& c) {
  if (c.capabilities.maxPvVoltage <= 0) return std::nullopt;
  return SettingLimits{0, c.capabilities.maxPvVoltage};
}

std::optional<SettingLimits> equalisationDays(const ChargerAtHand&) {
  return SettingLimits{0, 250};
}

// --- Code values and their names -----------------------------------------------------------------

constexpr std::uint32_t kAnyLoadOutput =
    SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT;

// The system voltages a charger of this rating can run at (a rating of 0 is not checked).
std::vector<SettingCode> systemVoltages(const Capabilities& caps, const char* zeroName) {
  std::vector<SettingCode> codes{{0, zeroName}};
  for (int volts : {12, 24, 36, 48}) {
    if (caps.minBatteryVoltage != 0 && volts < caps.minBatteryVoltage) continue;
    if (caps.maxBatteryVoltage != 0 && volts > caps.maxBatteryVoltage) continue;
    codes.push_back({static_cast<std::uint32_t>(volts), std::to_string(volts) + "V"});
  }
  return codes;
}

std::vector<SettingCode> batteryVoltages(const Capabilities& caps) {
  return systemVoltages(caps, "not yet detected");
}

std::vector<SettingCode> batteryVoltageSettings(const Capabilities& caps) {
  return systemVoltages(caps, "Auto detect (at power-up)");
}

// 0xFF: the charge settings are the user's. Otherwise one of the charger's own tables: a rotary
// switch position plus 1 (0 is never a table), or on a charger without the switch the factory
// table (1) or one of the presets current firmware offers, numbered like the switch positions.
std::vector<SettingCode> batteryTypes(const Capabilities& caps) {
  const bool rotary = caps.has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  std::vector<SettingCode> codes;
  for (std::uint32_t type = 1; type <= 8; ++type) {
    codes.push_back({type, rotary ? "Rotary switch position " + std::to_string(type - 1)
                                  : std::string("Factory Defined")});
  }
  codes.push_back({0xFF, "User Defined"});
  return codes;
}

std::vector<SettingCode> onOff(const Capabilities&) { return {{0, "off"}, {1, "on"}}; }

// The load output modes (bits 0 to 3), each also with the lighting controller on (bit 7) where the
// charger has the street-light timer.
std::vector<SettingCode> loadControls(const Capabilities& caps) {
  static const SettingCode kModes[] = {
      {0, "load output off"},
      {1, "cellcare algorithm"},
      {2, "conventional algorithm 1"},
      {3, "conventional algorithm 2"},
      {4, "load output on"},
      {5, "user defined algorithm 1", SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH},
      {6, "user defined algorithm 2", SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH},
      {7, "user defined algorithm 1 with time", SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE},
  };
  std::vector<SettingCode> codes(std::begin(kModes), std::end(kModes));
  if (caps.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER)) {
    for (const SettingCode& mode : kModes)
      codes.push_back({mode.value | 0x80, mode.name + ", solar timer mode on", mode.needs});
  }
  return codes;
}

std::vector<SettingCode> txFunctions(const Capabilities&) {
  return {
      {0, "Normal SunLink communication"},
      {1, "Pulse every 0.01kWh"},
      {2, "Light dimming control (pwm normal)", SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER},
      {3, "Light dimming control (pwm inverted)", SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER},
      {4, "Virtual load output", SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT},
      {5, "Virtual relay", SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY},
  };
}

std::vector<SettingCode> rxFunctions(const Capabilities&) {
  return {
      {0, "Remote on/off"},
      {1, "Load output configuration", SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT},
      {2, "Load output on/off (inverted)", SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT},
      {3, "Load output on/off (normal)", SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT},
  };
}

std::vector<SettingCode> relayModes(const Capabilities&) {
  return {
      {0, "always off"},
      {1, "panel voltage high"},
      {2, "on when charger temperature high"},
      {3, "battery voltage low"},
      {4, "on when equalization active"},
      {5, "on when charger in error state"},
      {6, "on when charger temperature below -20C (defrost)"},
      {7, "battery voltage high"},
      {8, "on when charger in float/storage state"},
      {9, "on when panels irradiated (day)"},
      {10, "load output mode", kAnyLoadOutput},
      {0xFF, "remote control"},
  };
}

// --- The rows ------------------------------------------------------------------------------------

constexpr const char* kNoUnit = "";

SettingRow volts(const char* label, std::uint32_t reg, Needs needs,
                 std::optional<SettingLimits> (*limits)(const ChargerAtHand&) = batteryVolts) {
  return {label,
          reg,
          reg,
          2,
          false,
          100,
          "V",
          2,
          false,
          needs,
          limits,
          nullptr,
          limits == batteryVolts};
}

SettingRow code(const char* label, std::uint32_t reg, Needs needs,
                std::vector<SettingCode> (*codes)(const Capabilities&)) {
  return {label, reg, REG_NONE, 1, false, 1, kNoUnit, 0, false, needs, nullptr, codes};
}

SettingRow minutes(const char* label, std::uint32_t reg, bool isSigned, Needs needs) {
  return {label, reg, REG_NONE, 2, isSigned, 1, "min", 0, false, needs, nullptr, nullptr};
}

SettingRow lightingEvent(int n) {
  static const char* const kLabels[] = {"lighting_event1", "lighting_event2", "lighting_event3",
                                        "lighting_event4", "lighting_event5", "lighting_event6"};
  return {kLabels[n], REG_LIGHTING_EVENT1 + static_cast<std::uint32_t>(n),
          REG_NONE,   4,
          false,      1,
          kNoUnit,    0,
          true,       Needs::solarTimer,
          nullptr,    nullptr};
}

// The rows after the lighting events.
std::vector<SettingRow> timerAndPortRows() {
  return {
      minutes("midpoint_shift", REG_MIDPOINT_SHIFT, true, Needs::solarTimer),
      {"dim_speed", REG_DIM_SPEED, REG_NONE, 1, false, 1, "s", 0, false, Needs::streetlight2,
       nullptr, nullptr},
      volts("panel_voltage_night", REG_PANEL_VOLTAGE_NIGHT, Needs::streetlight2, panelVolts),
      volts("panel_voltage_day", REG_PANEL_VOLTAGE_DAY, Needs::streetlight2, panelVolts),
      minutes("sunset_delay", REG_SUNSET_DELAY, true, Needs::streetlight3),
      minutes("sunrise_delay", REG_SUNRISE_DELAY, true, Needs::streetlight3),
      code("port_tx_function", REG_PORT_TX_FUNCTION, Needs::txFunction, txFunctions),
      code("port_rx_function", REG_PORT_RX_FUNCTION, Needs::rxFunction, rxFunctions),
      code("relay_mode", REG_RELAY_MODE, Needs::relay, relayModes),
      volts("relay_input_high_voltage_set", REG_RELAY_INPUT_HIGH_VOLTAGE_SET, Needs::relay,
            panelVolts),
      volts("relay_input_high_voltage_clear", REG_RELAY_INPUT_HIGH_VOLTAGE_CLEAR, Needs::relay,
            panelVolts),
      minutes("relay_min_enabled", REG_RELAY_MIN_ENABLED, false, Needs::relay),
  };
}

std::vector<SettingRow> buildCatalogue() {
  std::vector<SettingRow> rows = {
      // The registers of both battery voltage rows depend on the firmware (catalogueVreg).
      {"battery_voltage", REG_BATTERY_VOLTAGE, REG_BATTERY_VOLTAGE, 1, false, 1, "V", 0, false,
       Needs::nothing, nullptr, batteryVoltages},
      {"maximum_current", REG_MAXIMUM_CURRENT, REG_MAXIMUM_CURRENT, 2, false, 10, "A", 1, false,
       Needs::nothing, current, nullptr},
      // Carried between retrieve, restore and the settings file, never shown: its unit is unknown.
      {"bulk_time_limit", REG_BULK_TIME_LIMIT, REG_NONE, 2, false, 1, kNoUnit, 0, false,
       Needs::nothing, nullptr, nullptr},
      {"absorption_time_limit", REG_ABSORPTION_TIME_LIMIT, REG_ABSORPTION_TIME_LIMIT, 2, false, 100,
       "h", 2, false, Needs::nothing, absorptionHours, nullptr},
      volts("absorption_voltage", REG_ABSORPTION_VOLTAGE, Needs::nothing),
      volts("float_voltage", REG_FLOAT_VOLTAGE, Needs::nothing),
      volts("equalisation_voltage", REG_EQUALISATION_VOLTAGE, Needs::autoEqualise),
      {"temperature_compensation", REG_TEMPERATURE_COMPENSATION, REG_TEMPERATURE_COMPENSATION, 2,
       true, 100, "mV/K", 2, false, Needs::nothing, compensation, nullptr, true},
      volts("load_switch_high_level", REG_LOAD_SWITCH_HIGH_LEVEL, Needs::switchLevels),
      volts("load_switch_low_level", REG_LOAD_SWITCH_LOW_LEVEL, Needs::switchLevels),
      minutes("automatic_energy_selector_timer", REG_AES_TIMER, false, Needs::energySelector),
      volts("relay_output_low_voltage_set", REG_RELAY_OUTPUT_LOW_VOLTAGE_SET, Needs::relay),
      volts("relay_output_low_voltage_clear", REG_RELAY_OUTPUT_LOW_VOLTAGE_CLEAR, Needs::relay),
      volts("relay_output_high_voltage_set", REG_RELAY_OUTPUT_HIGH_VOLTAGE_SET, Needs::relay),
      volts("relay_output_high_voltage_clear", REG_RELAY_OUTPUT_HIGH_VOLTAGE_CLEAR, Needs::relay),
      // After every voltage: voltages written after a changed (or auto) system voltage setting
      // can be judged against the wrong system by the charger, so restore must write them first.
      {"battery_voltage_setting", REG_BATTERY_VOLTAGE_SETTING, REG_BATTERY_VOLTAGE, 1, false, 1,
       "V", 0, false, Needs::nothing, nullptr, batteryVoltageSettings},
      code("cellguard_mode", REG_CELLGUARD_MODE, Needs::cellGuard, onOff),
      {"auto_equalise", REG_AUTO_EQUALISE, REG_NONE, 1, false, 1, kNoUnit, 0, false,
       Needs::autoEqualise, equalisationDays, nullptr},
      code("battery_type", REG_BATTERY_TYPE, Needs::nothing, batteryTypes),
      code("load_control", REG_LOAD_CONTROL, Needs::loadOutput, loadControls),
  };
  for (int n = 0; n < LIGHTING_EVENT_COUNT; ++n) rows.push_back(lightingEvent(n));
  const std::vector<SettingRow> timerAndPorts = timerAndPortRows();
  rows.insert(rows.end(), timerAndPorts.begin(), timerAndPorts.end());
  return rows;
}

bool holds(const Capabilities& caps, Needs needs) {
  const bool solarTimer = caps.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
  switch (needs) {
    case Needs::nothing:
      return true;
    case Needs::autoEqualise:
      return caps.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE);
    case Needs::switchLevels:
      return caps.has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
                      SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
    case Needs::energySelector:
      return caps.has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
    case Needs::relay:
      return caps.has(SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1 |
                      SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY);
    case Needs::cellGuard:
      return caps.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE);
    case Needs::loadOutput:
      return caps.has(kAnyLoadOutput);
    case Needs::solarTimer:
      return solarTimer;
    case Needs::streetlight2:
      return solarTimer && caps.streetlightVersion >= 2;
    case Needs::streetlight3:
      return solarTimer && caps.streetlightVersion >= 3;
    case Needs::txFunction:
      return caps.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION);
    case Needs::rxFunction:
      return caps.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION);
  }
  return false;
}

Vreg withValue(Vreg vreg, std::uint32_t get, std::uint32_t set, const char* preset) {
  vreg.get = get;
  vreg.set = set;
  if (preset != nullptr) vreg.value = preset;
  return vreg;
}

// Register 0xEDEF holds the system voltage; which register reports it, and whether it can be
// written, changed with the firmware. Up to 1.08 the charger reports nothing but the configured
// value; from 1.09 to 1.11 the configured value cannot be read back at all; from 1.12 on both can
// be read.
Vreg batteryVoltageVreg(const Vreg& vreg, unsigned firmware) {
  const bool setting = vreg.label == "battery_voltage_setting";
  if (firmware <= 0x108) {
    return setting ? withValue(vreg, REG_BATTERY_VOLTAGE, REG_BATTERY_VOLTAGE, nullptr)
                   : withValue(vreg, REG_NONE, REG_NONE, "00");
  }
  if (firmware <= 0x111) {
    return setting ? withValue(vreg, REG_NONE, REG_BATTERY_VOLTAGE, "00")
                   : withValue(vreg, REG_BATTERY_VOLTAGE, REG_NO_ACCESS, nullptr);
  }
  return vreg;
}

}  // namespace

const std::vector<SettingRow>& settingCatalogue() {
  static const std::vector<SettingRow> rows = buildCatalogue();
  return rows;
}

const SettingRow* catalogueRow(const std::string& label) {
  for (const SettingRow& row : settingCatalogue()) {
    if (label == row.label) return &row;
  }
  return nullptr;
}

bool rowApplies(const SettingRow& row, const Capabilities& capabilities) {
  return holds(capabilities, row.needs);
}

Vreg catalogueVreg(const SettingRow& row, const Capabilities& capabilities) {
  Vreg vreg(row.label, row.get, row.set, row.scale);
  vreg.isSigned = row.isSigned;
  if (row.get == REG_BATTERY_VOLTAGE || row.get == REG_BATTERY_VOLTAGE_SETTING)
    return batteryVoltageVreg(vreg, capabilities.firmwareVersion);
  return vreg;
}

void applyCatalogue(VregTable& table) {
  for (Vreg& vreg : table.vregs()) {
    const SettingRow* row = catalogueRow(vreg.label);
    if (row == nullptr) continue;
    vreg.scale = row->scale;
    vreg.isSigned = row->isSigned;
  }
}

std::optional<double> settingNumber(const std::string& label, const std::string& value) {
  if (value.empty()) return std::nullopt;
  const SettingRow* row = catalogueRow(label);
  Vreg vreg;
  vreg.value = value;
  vreg.scale = row != nullptr ? row->scale : 1;
  vreg.isSigned = row != nullptr && row->isSigned;
  return vreg.getNumber();
}

std::string settingText(const std::string& label, const std::string& value) {
  if (value.empty()) return "";
  const SettingRow* row = catalogueRow(label);
  if (row == nullptr || row->packed) return "0x" + value;
  std::string text = fixedPoint(*settingNumber(label, value), row->decimals);
  if (std::strlen(row->unit) > 0) text += std::string(" ") + row->unit;
  return text;
}

std::optional<std::string> codeName(const std::string& label, const std::string& value,
                                    const Capabilities& capabilities) {
  const SettingRow* row = catalogueRow(label);
  if (row == nullptr || row->codes == nullptr || value.empty()) return std::nullopt;
  const std::optional<double> number = settingNumber(label, value);
  for (const SettingCode& code : row->codes(capabilities)) {
    if (code.value != *number) continue;
    if (code.needs != 0 && !capabilities.has(code.needs)) return std::nullopt;
    return code.name;
  }
  return std::nullopt;
}

std::optional<SettingLimits> settingLimits(const std::string& label, const ChargerAtHand& charger) {
  const SettingRow* row = catalogueRow(label);
  if (row == nullptr || row->limits == nullptr) return std::nullopt;
  return row->limits(charger);
}

}  // namespace sunlink
