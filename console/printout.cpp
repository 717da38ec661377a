// The settings printout: the charger's current settings in plain language, one line each, from the
// in-memory settings list only.

#include "console/printout.h"

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

// "<label><n> <unit>" with the unit in the plural unless n is 1, and a line end; nothing for 0.
void printCount(std::ostream& out, const char* label, long long n, const char* unit) {
  if (n == 0) return;
  out << label << n << ' ' << unit << (n == 1 ? "" : "s") << '\n';
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

// One printout: the model it reads and the stream it writes.
class Printout {
 public:
  Printout(ChargerSettings& model, std::ostream& out) : model_(model), out_(out) {}

  void print();

 private:
  std::string settingVolts(const char* label) { return volts(model_.find(label).getNumber()); }
  // A setting read as a signed 16-bit number (minutes before or after).
  long long signed16(const char* label) {
    return static_cast<std::int16_t>(model_.find(label).getU16());
  }
  std::string codeText(const char* label, std::uint32_t value);
  std::string relayFunctionText();
  std::pair<std::string, std::string> switchLevels(Levels levels);
  std::string loadModeText(LoadControl control);
  std::string chargeVolts(const char* label, double factoryAt12V);
  void printBatteryType(std::uint8_t batteryType);
  void printBatteryVoltageSetting();
  void printUserChargeSettings();
  void printAutoEqualise();
  void printLightingController();
  void printLoadSection();
  void printRelaySection();
  void printPortFunctions();

  ChargerSettings& model_;
  std::ostream& out_;
};

// A code's name as the catalogue gives it; "<unsupported>" for a code this charger lacks the
// feature for, "<unknown>" for one the catalogue does not name.
std::string Printout::codeText(const char* label, std::uint32_t value) {
  for (const SettingCode& code : catalogueRow(label)->codes(model_.capabilities)) {
    if (code.value != value) continue;
    return code.needs == 0 || model_.has(code.needs) ? code.name : "<unsupported>";
  }
  return "<unknown>";
}

std::string Printout::relayFunctionText() {
  const int code = model_.find("relay_mode").getU8();
  for (const RelayLevels& row : kRelayLevels) {
    if (row.code != code) continue;
    return row.head + settingVolts(row.first) + row.middle + settingVolts(row.second) + "V)";
  }
  // The printout has always named every relay function, whatever the charger's features.
  for (const SettingCode& known : catalogueRow("relay_mode")->codes(model_.capabilities)) {
    if (known.value == static_cast<std::uint32_t>(code)) return known.name;
  }
  return "<unknown>";
}

// The off and on levels of a mode, as printed. The conventional modes switch at the charger's own
// levels for the system voltage; the user defined ones at the stored levels.
std::pair<std::string, std::string> Printout::switchLevels(Levels levels) {
  if (levels == Levels::userSwitch) {
    return {settingVolts("load_switch_low_level"), settingVolts("load_switch_high_level")};
  }
  const LoadSwitchLevels& own =
      levels == Levels::conventional1 ? CONVENTIONAL_ALGORITHM_1 : CONVENTIONAL_ALGORITHM_2;
  const int v = model_.systemVoltage();
  return {volts(atSystemVoltage(own.off, v)), volts(atSystemVoltage(own.on, v))};
}

std::string Printout::loadModeText(LoadControl control) {
  if (!control.modeKnown()) return "<unknown>";
  const LoadModeText& row = kLoadModes[control.mode()];
  if (row.needs != 0 && !model_.has(row.needs)) return "<unsupported>";
  if (row.levels == Levels::none) return row.head;
  const auto levels = switchLevels(row.levels);
  std::ostringstream text;
  text << row.head << levels.first << row.middle << levels.second << row.tail;
  if (row.timer) {
    printHoursMinutes(text, model_.find("automatic_energy_selector_timer").getU16());
    text << ")";
  }
  return text.str();
}

// A charge voltage of the battery table in use: as the charger holds it, or the factory table's for
// the system voltage when it could not be read or the table was chosen in this run (the charger
// then charges at the table's values).
std::string Printout::chargeVolts(const char* label, double factoryAt12V) {
  const Vreg* vreg = model_.settings.lookup(label);
  const bool read = vreg != nullptr && !vreg->value.empty() && !vreg->absentFromCharger &&
                    (vreg->status == VREG_OK || vreg->status == VREG_LIMIT_FAILED);
  if (read && !model_.factoryTableChosen()) return volts(vreg->getNumber());
  return volts(atSystemVoltage(factoryAt12V, model_.systemVoltage()));
}

void Printout::printBatteryType(std::uint8_t batteryType) {
  const bool rotary = model_.has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  if (batteryType == BATTERY_TYPE_USER_DEFINED) {
    out_ << "Battery Type = User Defined";
    if (rotary) out_ << " (Rotary switch disabled)";
    out_ << '\n';
  } else if (rotary) {
    // The charger counts switch positions from 1 so that 0 is never a valid table.
    if (batteryType >= 1 && batteryType <= 8) {
      out_ << "Battery Type = Rotary switch position " << batteryType - 1 << '\n';
    } else {
      out_ << "Battery Type = Rotary switch\n";
    }
  } else {
    // A built-in table (the factory default or another preset): the charger reports the table's
    // voltages in its charge registers.
    out_ << "Battery Type = Factory Defined (abs="
         << chargeVolts("absorption_voltage", FACTORY_ABSORPTION_VOLTAGE)
         << "V, float=" << chargeVolts("float_voltage", FACTORY_FLOAT_VOLTAGE);
    if (model_.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) {
      out_ << "V, eqv=" << chargeVolts("equalisation_voltage", FACTORY_EQUALISATION_VOLTAGE);
    }
    out_ << "V)\n";
  }
}

void Printout::printBatteryVoltageSetting() {
  const int voltageSetting = model_.find("battery_voltage_setting").getU8();
  if (voltageSetting != 0) {
    out_ << "Battery Voltage Setting = " << voltageSetting << "V, auto detect OFF\n";
  } else {
    out_ << "Battery Voltage Setting = Auto detect (at power-up), detected "
         << model_.systemVoltage() << "V\n";
  }
}

// The charge settings the charger uses only while the battery type is user defined.
void Printout::printUserChargeSettings() {
  if (!model_.lacks("absorption_voltage")) {
    out_ << "Battery Absorption Voltage = " << settingVolts("absorption_voltage") << "V\n";
  }
  if (!model_.lacks("float_voltage")) {
    out_ << "Battery Float Voltage = " << settingVolts("float_voltage") << "V\n";
  }
  if (model_.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE) && !model_.lacks("equalisation_voltage")) {
    out_ << "Battery Equalisation Voltage = " << settingVolts("equalisation_voltage") << "V\n";
  }
  if (!model_.lacks("temperature_compensation")) {
    out_ << "Temperature Compensation = " << settingVolts("temperature_compensation") << "mV/K\n";
  }
  if (!model_.lacks("absorption_time_limit")) {
    out_ << "Absorption time limit = ";
    printHoursMinutes(out_, hoursToMinutes(model_.find("absorption_time_limit").getNumber()));
    out_ << " hours\n";
  }
}

void Printout::printAutoEqualise() {
  const int n = model_.find("auto_equalise").getU8();
  out_ << "Automatic equalisation = ";
  if (n == 0) {
    out_ << "off";
  } else if (n == 1) {
    out_ << "on (daily)";
  } else {
    out_ << "on (every " << n << " days)";
  }
  out_ << '\n';
}

// The street-light timer's programme, shown while the lighting controller is on.
void Printout::printLightingController() {
  out_ << "Solar timer mode on\n";
  std::uint32_t events = 0;
  for (int slot = 1; slot <= LIGHTING_EVENT_COUNT; ++slot) {
    const std::uint32_t value = model_.find("lighting_event" + std::to_string(slot)).getU32();
    events |= printLightingEvent(out_, value, slot);
  }
  if (events == 0) out_ << "No events defined\n";
  printCount(out_, "Mid-point shift = ", signed16("midpoint_shift"), "minute");
  const unsigned streetlightVersion = model_.capabilities.streetlightVersion;
  if (streetlightVersion >= 2) {
    printCount(out_, "Gradual dimming = 1% per ", model_.find("dim_speed").getU32(), "second");
    const double night = model_.find("panel_voltage_night").getNumber();
    const double day = model_.find("panel_voltage_day").getNumber();
    // Either level at 0 means the charger uses its built-in detection.
    if (night != 0 && day != 0) {
      out_ << "Night/day detection night: Vpanel<" << volts(night) << "V, day: Vpanel>"
           << volts(day) << "V\n";
    }
  }
  if (streetlightVersion >= 3) {
    printCount(out_, "Sunset delay duration = ", signed16("sunset_delay"), "minute");
    printCount(out_, "Sunrise delay duration = ", signed16("sunrise_delay"), "minute");
  }
}

void Printout::printLoadSection() {
  const LoadControl control(model_.find("load_control").getU8());
  out_ << "Load output control = " << loadModeText(control) << '\n';
  if (model_.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) && control.lightingController()) {
    printLightingController();
  }
}

void Printout::printRelaySection() {
  out_ << "Alarm relay function = " << relayFunctionText() << '\n';
  if (!model_.lacks("relay_min_enabled")) {
    printCount(out_, "Alarm relay minimum enabled = ", model_.find("relay_min_enabled").getU16(),
               "minute");
  }
}

void Printout::printPortFunctions() {
  if (model_.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION) && !model_.lacks("port_tx_function")) {
    out_ << "SunLink TX Port function = "
         << codeText("port_tx_function", model_.find("port_tx_function").getU8()) << '\n';
  }
  if (model_.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION) && !model_.lacks("port_rx_function")) {
    out_ << "SunLink RX Port function = "
         << codeText("port_rx_function", model_.find("port_rx_function").getU8()) << '\n';
  }
}

void Printout::print() {
  // The model name is the charger's own text (its model-name register): shown, never obeyed.
  out_ << shownText(model_.capabilities.name) << "\n";
  // Said only when off: a charger that is off does not charge, whatever its settings say.
  if (model_.capabilities.switchedOn == false) out_ << "Charger = switched off\n";
  out_ << "\n";
  const std::uint8_t batteryType = model_.find("battery_type").getU8();
  printBatteryType(batteryType);
  printBatteryVoltageSetting();
  if (batteryType == BATTERY_TYPE_USER_DEFINED) printUserChargeSettings();
  if (model_.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE) && !model_.lacks("cellguard_mode")) {
    out_ << "CellGuard mode = " << (model_.find("cellguard_mode").getU8() != 0 ? "on" : "off")
         << '\n';
  }
  if (!model_.lacks("maximum_current")) {
    out_ << "Charger Current Limit = " << fixedPoint(model_.find("maximum_current").getNumber(), 1)
         << "A\n";
  }
  if (model_.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE) && !model_.lacks("auto_equalise")) {
    printAutoEqualise();
  }
  if (model_.hasLoadOutput()) printLoadSection();
  if (model_.hasRelay()) printRelaySection();
  printPortFunctions();
}

}  // namespace

void printSettings(ChargerSettings& model, std::ostream& out) { Printout(model, out).print(); }

}  // namespace sunlink
