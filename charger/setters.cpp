// The setters: one per editable setting, shared by the command line and the menus. They change the
// in-memory settings list only; restore carries the values to the charger later.

#include "charger/setters.h"

#include <optional>
#include <string>

#include "charger/charger_settings.h"
#include "charger/load_control.h"
#include "charger/parsers.h"
#include "charger/setting_catalogue.h"

namespace sunlink {

namespace {

// The refusal of text that is no value of the setting.
SetResult unreadable() { return SetResult::refused(kUnableToInterpret); }

// Whether restore will carry this setting to the charger once retrieve has run. Restore writes
// only settings that retrieve confirmed; a preset (no register to read) is never confirmed, and a
// read-only one is never written. A readable setting that has not been read yet is not held
// against it: then nothing has been retrieved, and nothing at all is stored.
bool restoreWillWrite(const Vreg& vreg) {
  if (vreg.set == REG_NO_ACCESS) return false;
  if (vreg.status == VREG_OK) return true;
  return vreg.status == VREG_UNKNOWN && vreg.get != REG_NONE;
}

}  // namespace

SettingLimits SettingSetters::limitsOf(const char* label) {
  // Every setting these parsers serve has limits in the catalogue.
  return *settingLimits(label, ChargerAtHand{model_.capabilities, model_.systemVoltage()});
}

Reading<double> SettingSetters::parseVoltage(const std::string& text, double defaultValue) {
  const std::optional<double> value = convertNumber(prepareNumberText(text));
  if (!value) return {defaultValue, {kUnableToInterpret}};
  // Every voltage this parser serves follows the system voltage like the charge voltages.
  const SettingLimits range = limitsOf("absorption_voltage");
  return {clampToRange(*value, range.low, range.high), {}};
}

Parsed<double> SettingSetters::parseChargeVoltage(const std::string& text, const char* name) {
  const std::optional<double> value = convertSettingNumber(text, "V");
  if (!value) return {std::nullopt, kUnableToInterpret};
  const SettingLimits range = limitsOf("absorption_voltage");
  return withinRange(*value, range.low, range.high, name, 2, " V");
}

Parsed<double> SettingSetters::parseTemperatureCompensation(const std::string& text) {
  const std::optional<double> value = convertSettingNumber(text, "mV/K");
  if (!value) return {std::nullopt, kUnableToInterpret};
  const SettingLimits range = limitsOf("temperature_compensation");
  return withinRange(*value, range.low, range.high, "temperature compensation", 2, " mV/K");
}

Parsed<double> SettingSetters::parseCurrent(const std::string& text) {
  const std::optional<double> value = convertSettingNumber(text, "A");
  if (!value) return {std::nullopt, kUnableToInterpret};
  // A charger that did not report its rating is held only to what its register of 0.1 A steps
  // can carry: a rating the program does not know is not a reason to refuse every current.
  const SettingLimits range = limitsOf("maximum_current");
  return withinRange(*value, range.low, range.high, "current limit", 1, " A");
}

// Parsers give 0 for text they could not read (and the clamps never produce 0 for a voltage or a
// current), so 0 means "leave the setting alone".
SetResult SettingSetters::storeLevel(const char* label, const Reading<double>& level) {
  if (!level.complaints.empty()) return SetResult::refused(level.complaints.front());
  if (level.value == 0 || model_.lacks(label)) return SetResult::ignored();
  model_.find(label).setNumber(level.value);
  return SetResult::accepted();
}

// A charge setting (charge voltages, compensation, current limit, absorption time) belongs to the
// battery table: a value accepted for one makes the table the user's, so that the charger charges
// with what was typed rather than with its own table. A refused, unreadable or empty answer
// changes nothing at all, the battery type included.
SetResult SettingSetters::storeChargeSetting(const char* label, const Parsed<double>& value) {
  if (!value.value) return SetResult::refused(value.refusal);
  if (model_.lacks(label)) return SetResult::ignored();
  model_.find(label).setNumber(*value.value);
  markUserDefined();
  return SetResult::accepted();
}

// A whole number from 0 to highest into a one-byte setting; anything else is refused.
SetResult SettingSetters::storeByte(const char* label, const std::string& text, int highest) {
  if (model_.lacks(label)) return SetResult::ignored();
  const std::optional<int> number = convertWholeInteger(text);
  if (!number || *number < 0 || *number > highest) return unreadable();
  model_.find(label).setU8(static_cast<std::uint8_t>(*number));
  return SetResult::accepted();
}

void SettingSetters::markUserDefined() {
  model_.find("battery_type").setU8(BATTERY_TYPE_USER_DEFINED);
}

bool SettingSetters::batteryVoltageSettable() {
  return restoreWillWrite(model_.find("battery_voltage_setting"));
}

SetResult SettingSetters::setBatteryVoltage(const std::string& text) {
  try {
    int volts = 0;
    if (text == "12" || text == "24" || text == "36" || text == "48") {
      volts = std::stoi(text);
      if (volts < model_.capabilities.minBatteryVoltage ||
          volts > model_.capabilities.maxBatteryVoltage) {
        return unreadable();
      }
    } else if (text != "0") {
      return unreadable();
    }
    if (model_.lacks("battery_voltage_setting")) return SetResult::ignored();
    Vreg& setting = model_.find("battery_voltage_setting");
    // Rescaling the charge voltages for a system voltage that never reaches the charger (firmware
    // 1.09 to 1.11 cannot have it written back) would store 24 V voltages in a 12 V charger. The
    // choice is refused like a voltage outside the charger's rating. Auto detect changes no
    // voltages and stays allowed.
    if (volts != 0 && !batteryVoltageSettable()) return unreadable();
    setting.setU8(static_cast<std::uint8_t>(volts));
    if (volts != 0) {
      const int old = model_.systemVoltage();
      const double ratio = static_cast<double>(volts) / old;
      if (ratio != 0) {
        for (const SettingRow& row : settingCatalogue()) {
          if (!row.followsSystemVoltage) continue;
          // A voltage the charger lacks is stored nowhere: nothing to rescale.
          Vreg* vreg = model_.settings.lookup(row.label);
          if (vreg != nullptr && !model_.lacks(row.label))
            vreg->setNumber(vreg->getNumber() * ratio);
        }
      }
      model_.find("battery_voltage").setU8(static_cast<std::uint8_t>(volts));
    }
    return SetResult::accepted();
  } catch (...) {
    // A list without the settings the system voltage needs (find throws) cannot take any.
    return SetResult::listFault(kUnableToInterpret);
  }
}

SetResult SettingSetters::setAbsorptionVoltage(const std::string& text) {
  return storeChargeSetting("absorption_voltage", parseChargeVoltage(text, "absorption voltage"));
}

SetResult SettingSetters::setFloatVoltage(const std::string& text) {
  return storeChargeSetting("float_voltage", parseChargeVoltage(text, "float voltage"));
}

SetResult SettingSetters::setEqualisationVoltage(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) return SetResult::ignored();
  return storeChargeSetting("equalisation_voltage",
                            parseChargeVoltage(text, "equalisation voltage"));
}

SetResult SettingSetters::setTemperatureCompensation(const std::string& text) {
  // 0 mV/K is a valid choice (no compensation), so only a failed parse refuses.
  return storeChargeSetting("temperature_compensation", parseTemperatureCompensation(text));
}

SetResult SettingSetters::setCurrentLimit(const std::string& text) {
  return storeChargeSetting("maximum_current", parseCurrent(text));
}

SetResult SettingSetters::setAbsorptionTimeLimit(const std::string& text) {
  return storeChargeSetting("absorption_time_limit", parseHours(text, 24));
}

SetResult SettingSetters::setCellGuardMode(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE) || model_.lacks("cellguard_mode"))
    return SetResult::ignored();
  if (text != "0" && text != "1") return unreadable();
  model_.find("cellguard_mode").setU8(text == "1" ? 1 : 0);
  return SetResult::accepted();
}

SetResult SettingSetters::setAutoEqualise(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) return SetResult::ignored();
  return storeByte("auto_equalise", text, 250);  // days between equalisations
}

SetResult SettingSetters::setLoadSwitchHigh(const std::string& text) {
  return storeLevel("load_switch_high_level", parseVoltage(text, 0));
}

SetResult SettingSetters::setLoadSwitchLow(const std::string& text) {
  return storeLevel("load_switch_low_level", parseVoltage(text, 0));
}

SetResult SettingSetters::setLoadMode(const std::string& text) {
  if (model_.lacks("load_control")) return SetResult::ignored();
  int highest = 4;
  if (model_.has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE)) {
    highest = 7;
  } else if (model_.has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH)) {
    highest = 6;
  }
  const std::optional<int> mode = convertWholeInteger(text);
  if (!mode || *mode < 0 || *mode > highest) return unreadable();
  // The upper four bits carry the lighting controller switch, which the mode must not disturb.
  Vreg& control = model_.find("load_control");
  control.setU8(LoadControl(control.getU8()).withMode(*mode).byte());
  return SetResult::accepted();
}

SetResult SettingSetters::setLightingController(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) || model_.lacks("load_control"))
    return SetResult::ignored();
  if (text != "0" && text != "1") return unreadable();
  Vreg& control = model_.find("load_control");
  control.setU8(LoadControl(control.getU8()).withLightingController(text == "1").byte());
  return SetResult::accepted();
}

SetResult SettingSetters::setTxPortFunction(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION) || model_.lacks("port_tx_function"))
    return SetResult::ignored();
  const std::optional<int> function = convertWholeInteger(text);
  bool allowed = false;
  if (function) {
    switch (*function) {
      case 0:
      case 1:
        allowed = true;
        break;
      case 2:
      case 3:
        allowed = model_.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
        break;
      case 4:
        allowed = model_.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT);
        break;
      case 5:
        allowed = model_.has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY);
        break;
      default:
        break;
    }
  }
  if (!allowed) return unreadable();
  model_.find("port_tx_function").setU8(static_cast<std::uint8_t>(*function));
  return SetResult::accepted();
}

SetResult SettingSetters::setRxPortFunction(const std::string& text) {
  if (!model_.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) return SetResult::ignored();
  return storeByte("port_rx_function", text, 2);
}

SetResult SettingSetters::setRelayMode(const std::string& text) {
  // Mode 10 makes the relay follow the load output, so it needs one.
  const int highest = model_.hasLoadOutput() ? 10 : 9;
  // One byte: the width of the charger's relay mode register and of every reader of the setting;
  // a four-byte write would be refused or misread by the charger.
  return storeByte("relay_mode", text, highest);
}

SetResult SettingSetters::setRelayOutputLowSet(const std::string& text) {
  return storeLevel("relay_output_low_voltage_set", parseVoltage(text, 0));
}

SetResult SettingSetters::setRelayOutputLowClear(const std::string& text) {
  return storeLevel("relay_output_low_voltage_clear", parseVoltage(text, 0));
}

SetResult SettingSetters::setRelayOutputHighSet(const std::string& text) {
  return storeLevel("relay_output_high_voltage_set", parseVoltage(text, 0));
}

SetResult SettingSetters::setRelayOutputHighClear(const std::string& text) {
  return storeLevel("relay_output_high_voltage_clear", parseVoltage(text, 0));
}

SetResult SettingSetters::setRelayInputHighSet(const std::string& text) {
  return storeLevel("relay_input_high_voltage_set",
                    parsePanelVoltage(text, 0, model_.capabilities.maxPvVoltage));
}

SetResult SettingSetters::setRelayInputHighClear(const std::string& text) {
  return storeLevel("relay_input_high_voltage_clear",
                    parsePanelVoltage(text, 0, model_.capabilities.maxPvVoltage));
}

}  // namespace sunlink
