// The settings printout: the charger's current settings in plain language, one line each, from the
// in-memory settings list only.

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

#include "base/shown_text.h"
#include "charger/charger_settings.h"
#include "charger/factory_levels.h"
#include "charger/load_control.h"
#include "charger/setting_catalogue.h"
#include "charger/value_text.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// Voltages and the temperature compensation with 2 decimals.
std::string volts(double value) { return fixedPoint(value, 2); }

std::string settingVolts(ChargerSettings& model, const char* label) {
  return volts(model.find(label).getNumber());
}

// "<label><n> <unit>" with the unit in the plural unless n is 1, and a line end; nothing for 0.
void printCount(std::ostream& out, const char* label, long long n, const char* unit) {
  if (n == 0) return;
  out << label << n << ' ' << unit << (n == 1 ? "" : "s") << '\n';
}

// A setting read as a signed 16-bit number (minutes before or after).
long long signed16(ChargerSettings& model, const char* label) {
  return static_cast<std::int16_t>(model.find(label).getU16());
}

// A code's name as the catalogue gives it; "<unsupported>" for a code this charger lacks the
// feature for, "<unknown>" for one the catalogue does not name.
std::string codeText(const ChargerSettings& model, const char* label, std::uint32_t value) {
  for (const SettingCode& code : catalogueRow(label)->codes(model.capabilities)) {
    if (code.value != value) continue;
    return code.needs == 0 || model.has(code.needs) ? code.name : "<unsupported>";
  }
  return "<unknown>";
}

// The relay functions that switch at levels show them: head, the first level, middle, the
// second level, "V)".
struct RelayLevels {
  int code;
  const char* head;
  const char* first;
  const char* middle;
  const char* second;
};

const RelayLevels kRelayLevels[] = {
    {1, "panel voltage high (off<", "relay_input_high_voltage_clear", "V, on>",
     "relay_input_high_voltage_set"},
    {3, "battery voltage low (on<", "relay_output_low_voltage_set", "V, off>",
     "relay_output_low_voltage_clear"},
    {7, "battery voltage high (off<", "relay_output_high_voltage_clear", "V, on>",
     "relay_output_high_voltage_set"},
};

std::string relayFunctionText(ChargerSettings& model) {
  const int code = model.find("relay_mode").getU8();
  for (const RelayLevels& row : kRelayLevels) {
    if (row.code != code) continue;
    return row.head + settingVolts(model, row.first) + row.middle +
           settingVolts(model, row.second) + "V)";
  }
  // The printout has always named every relay function, whatever the charger's features.
  for (const SettingCode& known : catalogueRow("relay_mode")->codes(model.capabilities)) {
    if (known.value == static_cast<std::uint32_t>(code)) return known.name;
  }
  return "<unknown>";
}

// Where a load mode's two switching levels come from.
enum class Levels { none, conventional1, conventional2, userSwitch };

// A load output mode (the index is the mode): head, the off level, middle, the on level, tail;
// the automatic energy selector adds its time and ")".
struct LoadModeText {
  std::uint32_t needs;  // 0: every charger with a load output
  const char* head;
  Levels levels = Levels::none;
  const char* middle = "";
  const char* tail = "";
  bool timer = false;
};

const LoadModeText kLoadModes[] = {
    {0, "load output off"},
    {0, "cellcare algorithm"},
    {0, "conventional algorithm 1 (off<", Levels::conventional1, "V, on>", "V)"},
    {0, "conventional algorithm 2 (off<", Levels::conventional2, "V, on>", "V)"},
    {0, "load output on"},
    {SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH, "user defined algorithm 1 (off<",
     Levels::userSwitch, "V, on>", "V)"},
    {SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH, "user defined algorithm 2 (off<",
     Levels::userSwitch, "V<on<", "V<off)"},
    {SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE, "user defined algorithm 1 (off<", Levels::userSwitch,
     "V, on>", "V, time=", true},
};

// The off and on levels of a mode, as printed. The conventional modes switch at the charger's own
// levels for the system voltage; the user defined ones at the stored levels.
std::pair<std::string, std::string> switchLevels(ChargerSettings& model, Levels levels) {
  if (levels == Levels::userSwitch) {
    return {settingVolts(model, "load_switch_low_level"),
            settingVolts(model, "load_switch_high_level")};
  }
  const LoadSwitchLevels& own =
      levels == Levels::conventional1 ? CONVENTIONAL_ALGORITHM_1 : CONVENTIONAL_ALGORITHM_2;
  const int v = model.systemVoltage();
  return {volts(atSystemVoltage(own.off, v)), volts(atSystemVoltage(own.on, v))};
}

std::string loadModeText(ChargerSettings& model, LoadControl control) {
  if (!control.modeKnown()) return "<unknown>";
  const LoadModeText& row = kLoadModes[control.mode()];
  if (row.needs != 0 && !model.has(row.needs)) return "<unsupported>";
  if (row.levels == Levels::none) return row.head;
  const auto levels = switchLevels(model, row.levels);
  std::ostringstream text;
  text << row.head << levels.first << row.middle << levels.second << row.tail;
  if (row.timer) {
    printHoursMinutes(text, model.find("automatic_energy_selector_timer").getU16());
    text << ")";
  }
  return text.str();
}

// A charge voltage of the battery table in use: as the charger holds it, or the factory table's for
// the system voltage when it could not be read or the table was chosen in this run (the charger
// then charges at the table's values).
std::string chargeVolts(ChargerSettings& model, const char* label, double factoryAt12V) {
  const Vreg* vreg = model.settings.lookup(label);
  const bool read = vreg != nullptr && !vreg->value.empty() && !vreg->absentFromCharger &&
                    (vreg->status == VREG_OK || vreg->status == VREG_LIMIT_FAILED);
  if (read && !model.factoryTableChosen()) return volts(vreg->getNumber());
  return volts(atSystemVoltage(factoryAt12V, model.systemVoltage()));
}

void printBatteryType(ChargerSettings& model, std::ostream& out, std::uint8_t batteryType) {
  const bool rotary = model.has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  if (batteryType == BATTERY_TYPE_USER_DEFINED) {
    out << "Battery Type = User Defined";
    if (rotary) out << " (Rotary switch disabled)";
    out << '\n';
  } else if (rotary) {
    // The charger counts switch positions from 1 so that 0 is never a valid table.
    if (batteryType >= 1 && batteryType <= 8) {
      out << "Battery Type = Rotary switch position " << batteryType - 1 << '\n';
    } else {
      out << "Battery Type = Rotary switch\n";
    }
  } else {
    // A built-in table (the factory default or another preset): the charger reports the table's
    // voltages in its charge registers.
    out << "Battery Type = Factory Defined (abs="
        << chargeVolts(model, "absorption_voltage", FACTORY_ABSORPTION_VOLTAGE)
        << "V, float=" << chargeVolts(model, "float_voltage", FACTORY_FLOAT_VOLTAGE);
    if (model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) {
      out << "V, eqv=" << chargeVolts(model, "equalisation_voltage", FACTORY_EQUALISATION_VOLTAGE);
    }
    out << "V)\n";
  }
}

void printBatteryVoltageSetting(ChargerSettings& model, std::ostream& out) {
  const int voltageSetting = model.find("battery_voltage_setting").getU8();
  if (voltageSetting != 0) {
    out << "Battery Voltage Setting = " << voltageSetting << "V, auto detect OFF\n";
  } else {
    out << "Battery Voltage Setting = Auto detect (at power-up), detected " << model.systemVoltage()
        << "V\n";
  }
}

// The charge settings the charger uses only while the battery type is user defined.
void printUserChargeSettings(ChargerSettings& model, std::ostream& out) {
  if (!model.lacks("absorption_voltage")) {
    out << "Battery Absorption Voltage = " << settingVolts(model, "absorption_voltage") << "V\n";
  }
  if (!model.lacks("float_voltage")) {
    out << "Battery Float Voltage = " << settingVolts(model, "float_voltage") << "V\n";
  }
  if (model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE) && !model.lacks("equalisation_voltage")) {
    out << "Battery Equalisation Voltage = " << settingVolts(model, "equalisation_voltage")
        << "V\n";
  }
  if (!model.lacks("temperature_compensation")) {
    out << "Temperature Compensation = " << settingVolts(model, "temperature_compensation")
        << "mV/K\n";
  }
  if (!model.lacks("absorption_time_limit")) {
    out << "Absorption time limit = ";
    printHoursMinutes(out, hoursToMinutes(model.find("absorption_time_limit").getNumber()));
    out << " hours\n";
  }
}

void printAutoEqualise(ChargerSettings& model, std::ostream& out) {
  const int n = model.find("auto_equalise").getU8();
  out << "Automatic equalisation = ";
  if (n == 0) {
    out << "off";
  } else if (n == 1) {
    out << "on (daily)";
  } else {
    out << "on (every " << n << " days)";
  }
  out << '\n';
}

// The street-light timer's programme, shown while the lighting controller is on.
void printLightingController(ChargerSettings& model, std::ostream& out) {
  out << "Solar timer mode on\n";
  std::uint32_t events = 0;
  for (int slot = 1; slot <= LIGHTING_EVENT_COUNT; ++slot) {
    const std::uint32_t value = model.find("lighting_event" + std::to_string(slot)).getU32();
    events |= printLightingEvent(out, value, slot);
  }
  if (events == 0) out << "No events defined\n";
  printCount(out, "Mid-point shift = ", signed16(model, "midpoint_shift"), "minute");
  const unsigned streetlightVersion = model.capabilities.streetlightVersion;
  if (streetlightVersion >= 2) {
    printCount(out, "Gradual dimming = 1% per ", model.find("dim_speed").getU32(), "second");
    const double night = model.find("panel_voltage_night").getNumber();
    const double day = model.find("panel_voltage_day").getNumber();
    // Either level at 0 means the charger uses its built-in detection.
    if (night != 0 && day != 0) {
      out << "Night/day detection night: Vpanel<" << volts(night) << "V, day: Vpanel>" << volts(day)
          << "V\n";
    }
  }
  if (streetlightVersion >= 3) {
    printCount(out, "Sunset delay duration = ", signed16(model, "sunset_delay"), "minute");
    printCount(out, "Sunrise delay duration = ", signed16(model, "sunrise_delay"), "minute");
  }
}

void printLoadSection(ChargerSettings& model, std::ostream& out) {
  const LoadControl control(model.find("load_control").getU8());
  out << "Load output control = " << loadModeText(model, control) << '\n';
  if (model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) && control.lightingController()) {
    printLightingController(model, out);
  }
}

void printRelaySection(ChargerSettings& model, std::ostream& out) {
  out << "Alarm relay function = " << relayFunctionText(model) << '\n';
  if (!model.lacks("relay_min_enabled")) {
    printCount(out, "Alarm relay minimum enabled = ", model.find("relay_min_enabled").getU16(),
               "minute");
  }
}

void printPortFunctions(ChargerSettings& model, std::ostream& out) {
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION) && !model.lacks("port_tx_function")) {
    out << "SunLink TX Port function = "
        << codeText(model, "port_tx_function", model.find("port_tx_function").getU8()) << '\n';
  }
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION) && !model.lacks("port_rx_function")) {
    out << "SunLink RX Port function = "
        << codeText(model, "port_rx_function", model.find("port_rx_function").getU8()) << '\n';
  }
}

}  // namespace

void ChargerSettings::printSettings() {
  std::ostream& out = *io.out;
  // The model name is the charger's own text (its model-name register): shown, never obeyed.
  out << shownText(capabilities.name) << "\n";
  // Said only when off: a charger that is off does not charge, whatever its settings say.
  if (capabilities.switchedOn == false) out << "Charger = switched off\n";
  out << "\n";
  const std::uint8_t batteryType = find("battery_type").getU8();
  printBatteryType(*this, out, batteryType);
  printBatteryVoltageSetting(*this, out);
  if (batteryType == BATTERY_TYPE_USER_DEFINED) printUserChargeSettings(*this, out);
  if (has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE) && !lacks("cellguard_mode")) {
    out << "CellGuard mode = " << (find("cellguard_mode").getU8() != 0 ? "on" : "off") << '\n';
  }
  if (!lacks("maximum_current")) {
    out << "Charger Current Limit = " << fixedPoint(find("maximum_current").getNumber(), 1)
        << "A\n";
  }
  if (has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE) && !lacks("auto_equalise")) {
    printAutoEqualise(*this, out);
  }
  if (hasLoadOutput()) printLoadSection(*this, out);
  if (hasRelay()) printRelaySection(*this, out);
  printPortFunctions(*this, out);
}

}  // namespace sunlink
