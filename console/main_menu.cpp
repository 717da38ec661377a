// The main menu: what can be changed on this charger, one key per line, until x.

#include <ostream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/factory_levels.h"
#include "charger/value_text.h"
#include "console/menu_input.h"
#include "console/menu_table.h"
#include "console/menus.h"
#include "device/device_commands.h"
#include "protocol/version_word.h"

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
      out << "\nFirmware " << versionNumberText(model.capabilities.firmwareVersion)
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
  // The charger's own maximum, set as it is: there is no typed value to judge. A charger that did
  // not report its rating keeps the limit it has.
  if (model.capabilities.maxCurrent > 0) {
    model.find("maximum_current").setNumber(model.capabilities.maxCurrent);
  }
  model.setAbsorptionTimeLimit("6");
  model.useFactoryTable();
}

bool cellGuardOn(ChargerSettings& model) { return model.find("cellguard_mode").getU8() != 0; }

// Clearing the history acts on the charger at once; the settings list is untouched. A model built
// without a link has no charger to clear. A refused write says nothing of its own, and the menu
// goes on, so the failure is told here.
void clearHistoryData(ChargerSettings& model) {
  if (model.link != nullptr &&
      clearHistory(*model.link, noticeStream(model.io), *model.io.err) != 0) {
    *model.io.err << "Unable to clear history data\n\n";
  }
}

bool userDefined(ChargerSettings& model) {
  return model.find("battery_type").getU8() == BATTERY_TYPE_USER_DEFINED;
}

constexpr std::uint32_t ROTARY = SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER;

const MenuEntry MAIN_MENU[] = {
    {nullptr, ""},
    {"v", "Modify battery voltage setting", nullptr,
     [](ChargerSettings& m) { m.setBatteryVoltage(askBatteryVoltage(m)); }, nullptr,
     MenuTaken::kWhenOffered, "battery_voltage_setting"},
    {"a", "Modify absorption voltage", nullptr,
     [](ChargerSettings& m) {
       m.setAbsorptionVoltage(
           askValue(m, "Absorption voltage [", settingVolts(m, "absorption_voltage")));
     },
     nullptr, MenuTaken::kWhenOffered, "absorption_voltage"},
    {"b",
     [](ChargerSettings& m) {
       return std::string(cellGuardOn(m) ? "Disable" : "Enable") + " cellguard mode";
     },
     chargerHas<SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE>,
     [](ChargerSettings& m) { m.setCellGuardMode(cellGuardOn(m) ? "0" : "1"); }, nullptr,
     MenuTaken::kWhenOffered, "cellguard_mode"},
    {"f", "Modify float voltage", nullptr,
     [](ChargerSettings& m) {
       m.setFloatVoltage(askValue(m, "Float voltage [", settingVolts(m, "float_voltage")));
     },
     nullptr, MenuTaken::kWhenOffered, "float_voltage"},
    {"c", "Modify current limit", nullptr,
     [](ChargerSettings& m) {
       m.setCurrentLimit(
           askValue(m, "Current limit [", fixedPoint(m.find("maximum_current").getNumber(), 1)));
     },
     nullptr, MenuTaken::kWhenOffered, "maximum_current"},
    {"i", "Modify equalisation voltage", chargerHas<SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE>,
     [](ChargerSettings& m) {
       m.setEqualisationVoltage(
           askValue(m, "Equalisation voltage [", settingVolts(m, "equalisation_voltage")));
     },
     nullptr, MenuTaken::kWhenOffered, "equalisation_voltage"},
    {"j", "Modify auto equalise mode", chargerHas<SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE>,
     [](ChargerSettings& m) {
       const long mode = static_cast<long>(m.find("auto_equalise").getNumber());
       m.setAutoEqualise(askValue(m,
                                  "Auto equalise mode (0=off, 1=daily, 2=every other day, etc) [",
                                  std::to_string(mode)));
     },
     nullptr, MenuTaken::kWhenOffered, "auto_equalise"},
    {"k", "Modify temperature compensation", nullptr,
     [](ChargerSettings& m) {
       writeTemperatureNote(m);
       m.setTemperatureCompensation(
           askValue(m, "Temperature compensation [", settingVolts(m, "temperature_compensation")));
     },
     nullptr, MenuTaken::kWhenOffered, "temperature_compensation"},
    {"m", "Modify absorption time limit", nullptr,
     [](ChargerSettings& m) { m.setAbsorptionTimeLimit(askAbsorptionTimeLimit(m)); }, nullptr,
     MenuTaken::kWhenOffered, "absorption_time_limit"},
    // Taken even when its line is not shown: it also repairs a table that was changed by hand.
    {"t",
     [](ChargerSettings& m) -> std::string {
       return m.has(ROTARY) ? "Switch back to rotary switch battery type"
                            : "Switch back to factory defined battery table";
     },
     userDefined, restoreFactoryTable, nullptr, MenuTaken::kAlways},
    {"l",
     [](ChargerSettings& m) -> std::string {
       return m.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER)
                  ? "Modify load output / lighting controller (timer) settings"
                  : "Modify load output settings";
     },
     [](ChargerSettings& m) { return m.hasLoadOutput(); },
     [](ChargerSettings& m) { runLoadMenu(m); }},
    {"r", "Modify relay settings", [](ChargerSettings& m) { return m.hasRelay(); },
     [](ChargerSettings& m) { runRelayMenu(m); }},
    {"e", "Clear history data", chargerHas<SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT>,
     clearHistoryData},
    {"p", "SunLink TX Port function", chargerHas<SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION>,
     [](ChargerSettings& m) { runTxPortMenu(m); }, nullptr, MenuTaken::kWhenOffered,
     "port_tx_function"},
    {"q", "SunLink RX Port function", chargerHas<SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION>,
     [](ChargerSettings& m) { runRxPortMenu(m); }, nullptr, MenuTaken::kWhenOffered,
     "port_rx_function"},
    {nullptr, ""},
    {"x", "Exit and Save", nullptr, nullptr, nullptr, MenuTaken::kLeaves},
    {nullptr, "Note: Modifying settings (except the battery voltage) effectively disables the",
     chargerHas<ROTARY>},
    {nullptr, "      rotary switch, use option t to revert back to the factory defined",
     chargerHas<ROTARY>},
    {nullptr, "      battery table (as selected by the rotary switch).", chargerHas<ROTARY>},
};

// x stores what changed: not a float voltage above the absorption voltage. The menu stays open
// with the message, so that the user can mend either.
bool chargeVoltagesStorable(ChargerSettings& model) {
  if (!model.floatAboveAbsorption()) return true;
  model.reportFloatAboveAbsorption();
  return false;
}

}  // namespace

bool runMainMenu(ChargerSettings& model) {
  return runMenu(model, MAIN_MENU, false, chargeVoltagesStorable);
}

}  // namespace sunlink
