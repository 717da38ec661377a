// The main menu: what can be changed on this charger, one key per line, until x.

#include <ostream>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/menu_input.h"
#include "charger/menus.h"
#include "charger/value_text.h"
#include "device/device_commands.h"
#include "protocol/charger_levels.h"

namespace sunlink {

namespace {

// The charger's own table for its system voltage, as texts for the setters. A system voltage the
// charger cannot have (a stray value read back) gets the 12 V table.
struct FactoryCharge {
  std::string absorption;
  std::string floatVoltage;
  std::string equalisation;
  std::string compensation;
};

FactoryCharge factoryCharge(int systemVoltage) {
  const bool known = systemVoltage == 24 || systemVoltage == 36 || systemVoltage == 48;
  const int v = known ? systemVoltage : 12;
  const auto text = [v](double level) { return fixedPoint(atSystemVoltage(level, v), 1); };
  return {text(FACTORY_ABSORPTION_VOLTAGE), text(FACTORY_FLOAT_VOLTAGE),
          text(FACTORY_EQUALISATION_VOLTAGE), text(FACTORY_TEMPERATURE_COMPENSATION)};
}

void writeMenu(ChargerSettings& model, bool userDefined) {
  std::ostream& out = *model.io.out;
  const bool rotary = model.has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  out << "\n";
  out << "v - Modify battery voltage setting\n";
  out << "a - Modify absorption voltage\n";
  if (model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) {
    out << "b - " << (model.find("cellguard_mode").getU8() != 0 ? "Disable" : "Enable")
        << " cellguard mode\n";
  }
  out << "f - Modify float voltage\n";
  out << "c - Modify current limit\n";
  if (model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) {
    out << "i - Modify equalisation voltage\n";
    out << "j - Modify auto equalise mode\n";
  }
  out << "k - Modify temperature compensation\n";
  out << "m - Modify absorption time limit\n";
  if (userDefined) {
    out << "t - Switch back to"
        << (rotary ? " rotary switch battery type" : " factory defined battery table") << "\n";
  }
  if (model.hasLoadOutput()) {
    out << "l - Modify load output"
        << (model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) ? " / lighting controller (timer)" : "")
        << " settings\n";
  }
  if (model.hasRelay()) out << "r - Modify relay settings\n";
  if (model.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT)) out << "e - Clear history data\n";
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION)) out << "p - SunLink TX Port function\n";
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) out << "q - SunLink RX Port function\n";
  out << "\n";
  out << "x - Exit and Save\n";
  if (rotary) {
    out << "Note: Modifying settings (except the battery voltage) effectively disables the\n";
    out << "      rotary switch, use option t to revert back to the factory defined\n";
    out << "      battery table (as selected by the rotary switch).\n";
  }

  showHeldMessages(model.io);
  out << "Select an option (type v,a";
  if (model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) out << ",b";
  out << ",f,c";
  if (model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) out << ",i,j";
  out << ",k,m";
  if (userDefined) out << ",t";
  if (model.hasLoadOutput()) out << ",l";
  if (model.hasRelay()) out << ",r";
  if (model.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT)) out << ",e";
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION)) out << ",p";
  if (model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) out << ",q";
  out << " or x and press enter): ";
}

// Writes "<question>[<current>]: " after an empty line and reads the answer.
std::string askValue(ChargerSettings& model, const char* question, const std::string& current) {
  *model.io.out << "\n" << question << current << "]: ";
  return readAnswerLine(model.io);
}

std::string askBatteryVoltage(ChargerSettings& model) {
  std::ostream& out = *model.io.out;
  const unsigned current = model.find("battery_voltage_setting").getU8();
  if (!model.batteryVoltageSettable()) {
    // Offering voltages that are then refused would leave the user guessing: only auto detect is
    // accepted here, and one line says why.
    if (model.find("battery_voltage_setting").get == REG_NONE) {
      out << "\nFirmware " << firmwareVersionText(model.capabilities.firmwareVersion)
          << " cannot have its battery voltage setting changed over the serial port.\n";
    } else {
      out << "\nThe battery voltage setting could not be read, so it cannot be changed.\n";
    }
    out << "Battery voltage setting (0=auto detect) [" << current << "]: ";
    return readAnswerLine(model.io);
  }
  out << "\nBattery voltage setting (";
  const int low = model.capabilities.minBatteryVoltage;
  const int high = model.capabilities.maxBatteryVoltage;
  for (int n = low; n <= high; n += 12) {
    if (n != low) out << ",";
    out << n << "=" << n << "V";
  }
  out << ") [" << current << "]: ";
  return readAnswerLine(model.io);
}

void writeTemperatureNote(ChargerSettings& model) {
  std::ostream& out = *model.io.out;
  out << "The temperature compensation is not a dynamic during operation. The charger\n";
  out << "uses its internal temperature for the battery temperature compensation when\n";
  out << "the charger has been idle for at least one hour, i.e. when the charger is not\n";
  out << "actively charging a battery"
      << (model.has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT) ? " or supplying a load" : "") << ".\n";
}

void writeHours(std::ostream& out, long minutes) {
  printHoursMinutes(out, minutes);
  out << " hours\n";
}

// How the charger shortens the absorption time after a night that left the battery well charged.
void writeAbsorptionTimeTable(ChargerSettings& model) {
  std::ostream& out = *model.io.out;
  const double hours = model.find("absorption_time_limit").getNumber();
  const double volts = model.systemVoltage();
  const std::string v119 = fixedPoint(volts * 11.9 / 12, 1);
  const std::string v122 = fixedPoint(volts * 12.2 / 12, 1);
  const std::string v126 = fixedPoint(volts * 12.6 / 12, 1);
  out << "The maximum duration of the absorption period is determined by the\n";
  out << "battery voltage measured just before the solar charger starts up in\n";
  out << "the morning:\n";
  out << "\n";
  out << "Battery voltage Vb (@start-up) | Multiplier | Maximum absorption times\n";
  out << "-------------------------------|------------|-------------------------\n";
  out << "          Vb < " << v119 << "V           |    x 1     |       ";
  writeHours(out, hoursToMinutes(hours));
  out << "      " << v119 << "V < Vb < " << v122 << "V       |   x 2/3    |       ";
  writeHours(out, hoursToMinutes(hours, 2, 3));
  out << "      " << v122 << "V < Vb < " << v126 << "V       |   x 1/3    |       ";
  writeHours(out, hoursToMinutes(hours, 1, 3));
  out << "          Vb > " << v126 << "V           |   x 1/6    |       ";
  writeHours(out, hoursToMinutes(hours, 1, 6));
}

std::string askAbsorptionTimeLimit(ChargerSettings& model) {
  writeAbsorptionTimeTable(model);
  const double hours = model.find("absorption_time_limit").getNumber();
  std::ostream& out = *model.io.out;
  out << "\nAbsorption time limit [";
  printHoursMinutes(out, hoursToMinutes(hours));
  out << "]: ";
  return readAnswerLine(model.io);
}

// Key t: the charge settings of the charger's own table, then the table itself back in charge.
void restoreFactoryTable(ChargerSettings& model) {
  const FactoryCharge charge = factoryCharge(model.systemVoltage());
  model.setAbsorptionVoltage(charge.absorption);
  model.setFloatVoltage(charge.floatVoltage);
  model.setEqualisationVoltage(charge.equalisation);
  model.setTemperatureCompensation(charge.compensation);
  if (model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) model.setCellGuardMode("1");
  // The current parser lowers this to the charger's own maximum.
  model.setCurrentLimit("65535");
  model.setAbsorptionTimeLimit("6");
  model.useFactoryTable();
}

// Acts on one answer other than x.
void act(ChargerSettings& model, const std::string& key) {
  if (key == "v") {
    model.setBatteryVoltage(askBatteryVoltage(model));
  } else if (key == "a") {
    model.setAbsorptionVoltage(
        askValue(model, "Absorption voltage [", settingVolts(model, "absorption_voltage")));
  } else if (key == "b" && model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) {
    model.setCellGuardMode(model.find("cellguard_mode").getU8() != 0 ? "0" : "1");
  } else if (key == "i" && model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) {
    model.setEqualisationVoltage(
        askValue(model, "Equalisation voltage [", settingVolts(model, "equalisation_voltage")));
  } else if (key == "j" && model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) {
    const long mode = static_cast<long>(model.find("auto_equalise").getNumber());
    model.setAutoEqualise(askValue(model,
                                   "Auto equalise mode (0=off, 1=daily, 2=every other day, etc) [",
                                   std::to_string(mode)));
  } else if (key == "k") {
    writeTemperatureNote(model);
    model.setTemperatureCompensation(askValue(model, "Temperature compensation [",
                                              settingVolts(model, "temperature_compensation")));
  } else if (key == "m") {
    model.setAbsorptionTimeLimit(askAbsorptionTimeLimit(model));
  } else if (key == "f") {
    model.setFloatVoltage(askValue(model, "Float voltage [", settingVolts(model, "float_voltage")));
  } else if (key == "c") {
    model.setCurrentLimit(askValue(model, "Current limit [",
                                   fixedPoint(model.find("maximum_current").getNumber(), 1)));
  } else if (key == "t") {
    // Accepted even when its line is not shown: it also repairs a table that was changed by hand.
    restoreFactoryTable(model);
  } else if (key == "l" && model.hasLoadOutput()) {
    runLoadMenu(model);
  } else if (key == "r" && model.hasRelay()) {
    runRelayMenu(model);
  } else if (key == "e" && model.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT)) {
    // Clearing the history acts on the charger at once; the settings list is untouched. A model
    // built without a link has no charger to clear. A refused write says nothing of its own, and
    // the menu goes on, so the failure is told here.
    if (model.link != nullptr &&
        clearHistory(*model.link, noticeStream(model.io), *model.io.err) != 0) {
      *model.io.err << "Unable to clear history data\n\n";
    }
  } else if (key == "p" && model.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION)) {
    runTxPortMenu(model);
  } else if (key == "q" && model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) {
    runRxPortMenu(model);
  } else {
    reportUnknownOption(model.io);
  }
}

}  // namespace

bool runMainMenu(ChargerSettings& model) {
  MessageEcho echo(model.io);
  const std::vector<std::string> before = model.values();
  for (;;) {
    const bool userDefined = model.find("battery_type").getU8() == BATTERY_TYPE_USER_DEFINED;
    writeMenu(model, userDefined);
    const std::string key = readAnswerLine(model.io);
    if (key == "x") return model.values() != before;
    act(model, key);
    redrawSettings(model);
  }
}

}  // namespace sunlink
