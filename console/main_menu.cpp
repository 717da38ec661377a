// The main menu: what can be changed on this charger, one key per line, until x.

#include <optional>
#include <ostream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/factory_levels.h"
#include "charger/setters.h"
#include "charger/value_text.h"
#include "console/console_session.h"
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
std::string askValue(ConsoleSession& s, const char* question, const std::string& current) {
  s.out() << "\n" << question << current << "]: ";
  return s.answerLine();
}

std::string askBatteryVoltage(ConsoleSession& s) {
  std::ostream& out = s.out();
  const Capabilities& capabilities = s.model.capabilities;
  const unsigned current = s.model.find("battery_voltage_setting").getU8();
  if (!s.setters.batteryVoltageSettable()) {
    // Offering voltages that are then refused would leave the user guessing: only auto detect is
    // accepted here, and one line says why.
    if (s.model.find("battery_voltage_setting").get == REG_NONE) {
      out << "\nFirmware " << versionNumberText(capabilities.firmwareVersion)
          << " cannot have its battery voltage setting changed over the serial port.\n";
    } else {
      out << "\nThe battery voltage setting could not be read, so it cannot be changed.\n";
    }
    out << "Battery voltage setting (0=auto detect) [" << current << "]: ";
    return s.answerLine();
  }
  out << "\nBattery voltage setting (";
  const int low = capabilities.minBatteryVoltage;
  const int high = capabilities.maxBatteryVoltage;
  for (int n = low; n <= high; n += 12) {
    if (n != low) out << ",";
    out << n << "=" << n << "V";
  }
  out << ") [" << current << "]: ";
  return s.answerLine();
}

void writeTemperatureNote(ConsoleSession& s) {
  std::ostream& out = s.out();
  out << "The temperature compensation is not a dynamic during operation. The charger\n";
  out << "uses its internal temperature for the battery temperature compensation when\n";
  out << "the charger has been idle for at least one hour, i.e. when the charger is not\n";
  out << "actively charging a battery"
      << (s.model.has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT) ? " or supplying a load" : "") << ".\n";
}

void writeHours(std::ostream& out, long minutes) {
  printHoursMinutes(out, minutes);
  out << " hours\n";
}

// How the charger shortens the absorption time after a night that left the battery well charged.
void writeAbsorptionTimeTable(ConsoleSession& s) {
  std::ostream& out = s.out();
  const double hours = s.model.find("absorption_time_limit").getNumber();
  const double volts = s.model.systemVoltage();
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

std::string askAbsorptionTimeLimit(ConsoleSession& s) {
  writeAbsorptionTimeTable(s);
  const double hours = s.model.find("absorption_time_limit").getNumber();
  std::ostream& out = s.out();
  out << "\nAbsorption time limit [";
  printHoursMinutes(out, hoursToMinutes(hours));
  out << "]: ";
  return s.answerLine();
}

// Key t: the charge settings of the charger's own table, then the table itself back in charge.
void restoreFactoryTable(ConsoleSession& s) {
  ChargerSettings& model = s.model;
  SettingSetters& setters = s.setters;
  const FactoryCharge charge = factoryCharge(model.systemVoltage());
  s.show(setters.setAbsorptionVoltage(charge.absorption));
  s.show(setters.setFloatVoltage(charge.floatVoltage));
  s.show(setters.setEqualisationVoltage(charge.equalisation));
  s.show(setters.setTemperatureCompensation(charge.compensation));
  if (model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) s.show(setters.setCellGuardMode("1"), 1);
  // The charger's own maximum, set as it is: there is no typed value to judge. A charger that did
  // not report its rating keeps the limit it has.
  if (model.capabilities.maxCurrent > 0) {
    model.find("maximum_current").setNumber(model.capabilities.maxCurrent);
  }
  s.show(setters.setAbsorptionTimeLimit("6"));
  model.useFactoryTable();
}

bool cellGuardOn(ConsoleSession& s) { return s.model.find("cellguard_mode").getU8() != 0; }

// Clearing the history acts on the charger at once; the settings list is untouched. A history
// cannot be brought back, so a person at a terminal is asked first, and anything but y keeps it.
// A model built without a link has no charger to clear. A refused write says nothing of its own,
// and the menu goes on, so the failure is told here.
void clearHistoryData(ConsoleSession& s) {
  if (s.io.typed) {
    *s.io.out << "Clear the charger's history data? [y/N] ";
    const std::string answer = s.answerLine();
    if (answer != "y" && answer != "Y") {
      noticeStream(s.io) << "History data kept\n\n";
      return;
    }
  }
  if (s.model.link != nullptr && clearHistory(*s.model.link, noticeStream(s.io), *s.io.err) != 0) {
    *s.io.err << "Unable to clear history data\n\n";
  }
}

bool userDefined(ConsoleSession& s) {
  return s.model.find("battery_type").getU8() == BATTERY_TYPE_USER_DEFINED;
}

constexpr std::uint32_t ROTARY = SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER;

// The value keys hand the answer to their setter; a refusal ends with an empty line, but for the
// auto equalise mode and the cellguard switch, whose refusal has always ended with its own line.
const MenuEntry MAIN_MENU[] = {
    {nullptr, ""},
    {"v", "Modify battery voltage setting", nullptr,
     [](ConsoleSession& s) { s.show(s.setters.setBatteryVoltage(askBatteryVoltage(s))); }, nullptr,
     MenuTaken::kWhenOffered, "battery_voltage_setting"},
    {"a", "Modify absorption voltage", nullptr,
     [](ConsoleSession& s) {
       s.show(s.setters.setAbsorptionVoltage(
           askValue(s, "Absorption voltage [", s.volts("absorption_voltage"))));
     },
     nullptr, MenuTaken::kWhenOffered, "absorption_voltage"},
    {"b",
     [](ConsoleSession& s) {
       return std::string(cellGuardOn(s) ? "Disable" : "Enable") + " cellguard mode";
     },
     chargerHas<SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE>,
     [](ConsoleSession& s) { s.show(s.setters.setCellGuardMode(cellGuardOn(s) ? "0" : "1"), 1); },
     nullptr, MenuTaken::kWhenOffered, "cellguard_mode"},
    {"f", "Modify float voltage", nullptr,
     [](ConsoleSession& s) {
       s.show(s.setters.setFloatVoltage(askValue(s, "Float voltage [", s.volts("float_voltage"))));
     },
     nullptr, MenuTaken::kWhenOffered, "float_voltage"},
    {"c", "Modify current limit", nullptr,
     [](ConsoleSession& s) {
       s.show(s.setters.setCurrentLimit(askValue(
           s, "Current limit [", fixedPoint(s.model.find("maximum_current").getNumber(), 1))));
     },
     nullptr, MenuTaken::kWhenOffered, "maximum_current"},
    {"i", "Modify equalisation voltage", chargerHas<SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE>,
     [](ConsoleSession& s) {
       s.show(s.setters.setEqualisationVoltage(
           askValue(s, "Equalisation voltage [", s.volts("equalisation_voltage"))));
     },
     nullptr, MenuTaken::kWhenOffered, "equalisation_voltage"},
    {"j", "Modify auto equalise mode", chargerHas<SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE>,
     [](ConsoleSession& s) {
       const long mode = static_cast<long>(s.model.find("auto_equalise").getNumber());
       s.show(s.setters.setAutoEqualise(
                  askValue(s, "Auto equalise mode (0=off, 1=daily, 2=every other day, etc) [",
                           std::to_string(mode))),
              1);
     },
     nullptr, MenuTaken::kWhenOffered, "auto_equalise"},
    {"k", "Modify temperature compensation", nullptr,
     [](ConsoleSession& s) {
       writeTemperatureNote(s);
       s.show(s.setters.setTemperatureCompensation(
           askValue(s, "Temperature compensation [", s.volts("temperature_compensation"))));
     },
     nullptr, MenuTaken::kWhenOffered, "temperature_compensation"},
    {"m", "Modify absorption time limit", nullptr,
     [](ConsoleSession& s) { s.show(s.setters.setAbsorptionTimeLimit(askAbsorptionTimeLimit(s))); },
     nullptr, MenuTaken::kWhenOffered, "absorption_time_limit"},
    // Taken even when its line is not shown: it also repairs a table that was changed by hand.
    {"t",
     [](ConsoleSession& s) -> std::string {
       return s.model.has(ROTARY) ? "Switch back to rotary switch battery type"
                                  : "Switch back to factory defined battery table";
     },
     userDefined, restoreFactoryTable, nullptr, MenuTaken::kAlways},
    {"l",
     [](ConsoleSession& s) -> std::string {
       return s.model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER)
                  ? "Modify load output / lighting controller (timer) settings"
                  : "Modify load output settings";
     },
     [](ConsoleSession& s) { return s.model.hasLoadOutput(); },
     [](ConsoleSession& s) { runLoadMenu(s); }},
    {"r", "Modify relay settings", [](ConsoleSession& s) { return s.model.hasRelay(); },
     [](ConsoleSession& s) { runRelayMenu(s); }},
    {"e", "Clear history data", chargerHas<SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT>,
     clearHistoryData},
    {"p", "SunLink TX Port function", chargerHas<SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION>,
     [](ConsoleSession& s) { runTxPortMenu(s); }, nullptr, MenuTaken::kWhenOffered,
     "port_tx_function"},
    {"q", "SunLink RX Port function", chargerHas<SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION>,
     [](ConsoleSession& s) { runRxPortMenu(s); }, nullptr, MenuTaken::kWhenOffered,
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
bool chargeVoltagesStorable(ConsoleSession& s) {
  const std::optional<std::string> conflict = s.model.chargeVoltageConflict();
  if (!conflict) return true;
  writeComplaint(*s.io.err, *conflict);
  return false;
}

}  // namespace

bool runMainMenu(ConsoleSession& session) {
  return runMenu(session, MAIN_MENU, false, chargeVoltagesStorable);
}

}  // namespace sunlink
