// The setters: one per editable setting, shared by the command line and the menus. They change the
// in-memory settings list only; restore carries the values to the charger later.

#include <optional>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/load_control.h"
#include "charger/parsers.h"
#include "charger/setting_catalogue.h"
#include "charger/value_text.h"

namespace sunlink {

namespace {

const char kUnableToInterpret[] = "Unable to interpret value";

// The refusal of a typed value. The number of line ends differs from setter to setter; the menus
// rely on it for their screen layout.
int refuse(std::ostream& err, int lineEnds) {
  err << kUnableToInterpret;
  for (int i = 0; i < lineEnds; ++i) err << '\n';
  return 1;
}

// Parsers give 0 for text they could not read (and the clamps never produce 0 for a voltage or a
// current), so 0 means "leave the setting alone".
int storeNonZero(ChargerSettings& model, const char* label, double value) {
  if (value == 0 || model.lacks(label)) return 1;
  model.find(label).setNumber(value);
  return 0;
}

// A charge setting (charge voltages, compensation, current limit, absorption time) belongs to the
// battery table: a value accepted for one makes the table the user's, so that the charger charges
// with what was typed rather than with its own table. A refused, unreadable or empty answer
// changes nothing at all, the battery type included.
int storeChargeSetting(ChargerSettings& model, const char* label, std::optional<double> value) {
  if (!value || model.lacks(label)) return 1;
  model.find(label).setNumber(*value);
  model.markUserDefined();
  return 0;
}

// A whole number from 0 to highest into a one-byte setting; anything else is refused.
int storeByte(ChargerSettings& model, const char* label, const std::string& text, int highest,
              int refusalLineEnds) {
  if (model.lacks(label)) return 1;
  const std::optional<int> number = convertWholeInteger(text);
  if (!number || *number < 0 || *number > highest) return refuse(*model.io.err, refusalLineEnds);
  model.find(label).setU8(static_cast<std::uint8_t>(*number));
  return 0;
}

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

void ChargerSettings::markUserDefined() { find("battery_type").setU8(BATTERY_TYPE_USER_DEFINED); }

bool ChargerSettings::batteryVoltageSettable() {
  return restoreWillWrite(find("battery_voltage_setting"));
}

int ChargerSettings::setBatteryVoltage(const std::string& text) {
  try {
    int volts = 0;
    if (text == "12" || text == "24" || text == "36" || text == "48") {
      volts = std::stoi(text);
      if (volts < capabilities.minBatteryVoltage || volts > capabilities.maxBatteryVoltage) {
        return refuse(*io.err, 2);
      }
    } else if (text != "0") {
      return refuse(*io.err, 2);
    }
    if (lacks("battery_voltage_setting")) return 1;
    Vreg& setting = find("battery_voltage_setting");
    // Rescaling the charge voltages for a system voltage that never reaches the charger (firmware
    // 1.09 to 1.11 cannot have it written back) would store 24 V voltages in a 12 V charger. The
    // choice is refused like a voltage outside the charger's rating. Auto detect changes no
    // voltages and stays allowed.
    if (volts != 0 && !batteryVoltageSettable()) return refuse(*io.err, 2);
    setting.setU8(static_cast<std::uint8_t>(volts));
    if (volts != 0) {
      const int old = systemVoltage();
      const double ratio = static_cast<double>(volts) / old;
      if (ratio != 0) {
        for (const SettingRow& row : settingCatalogue()) {
          if (!row.followsSystemVoltage) continue;
          // A voltage the charger lacks is stored nowhere: nothing to rescale.
          Vreg* vreg = settings.lookup(row.label);
          if (vreg != nullptr && !lacks(row.label)) vreg->setNumber(vreg->getNumber() * ratio);
        }
      }
      find("battery_voltage").setU8(static_cast<std::uint8_t>(volts));
    }
    return 0;
  } catch (...) {
    return refuse(*io.err, 1);
  }
}

int ChargerSettings::setAbsorptionVoltage(const std::string& text) {
  return storeChargeSetting(*this, "absorption_voltage",
                            parseChargeVoltage(text, "absorption voltage"));
}

int ChargerSettings::setFloatVoltage(const std::string& text) {
  return storeChargeSetting(*this, "float_voltage", parseChargeVoltage(text, "float voltage"));
}

int ChargerSettings::setEqualisationVoltage(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) return 1;
  return storeChargeSetting(*this, "equalisation_voltage",
                            parseChargeVoltage(text, "equalisation voltage"));
}

int ChargerSettings::setTemperatureCompensation(const std::string& text) {
  // 0 mV/K is a valid choice (no compensation), so only a failed parse refuses.
  return storeChargeSetting(*this, "temperature_compensation", parseTemperatureCompensation(text));
}

int ChargerSettings::setCurrentLimit(const std::string& text) {
  return storeChargeSetting(*this, "maximum_current", parseCurrent(text));
}

int ChargerSettings::setAbsorptionTimeLimit(const std::string& text) {
  return storeChargeSetting(*this, "absorption_time_limit", parseHours(text, 24));
}

int ChargerSettings::setCellGuardMode(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE) || lacks("cellguard_mode")) return 1;
  if (text != "0" && text != "1") return refuse(*io.err, 1);
  find("cellguard_mode").setU8(text == "1" ? 1 : 0);
  return 0;
}

int ChargerSettings::setAutoEqualise(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE)) return 1;
  return storeByte(*this, "auto_equalise", text, 250, 1);  // days between equalisations
}

int ChargerSettings::setLoadSwitchHigh(const std::string& text) {
  return storeNonZero(*this, "load_switch_high_level", parseVoltage(text, 0));
}

int ChargerSettings::setLoadSwitchLow(const std::string& text) {
  return storeNonZero(*this, "load_switch_low_level", parseVoltage(text, 0));
}

int ChargerSettings::setLoadMode(const std::string& text) {
  if (lacks("load_control")) return 1;
  int highest = 4;
  if (has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE)) {
    highest = 7;
  } else if (has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH)) {
    highest = 6;
  }
  const std::optional<int> mode = convertWholeInteger(text);
  if (!mode || *mode < 0 || *mode > highest) return refuse(*io.err, 2);
  // The upper four bits carry the lighting controller switch, which the mode must not disturb.
  Vreg& control = find("load_control");
  control.setU8(LoadControl(control.getU8()).withMode(*mode).byte());
  return 0;
}

int ChargerSettings::setLightingController(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) || lacks("load_control")) return 1;
  if (text != "0" && text != "1") return refuse(*io.err, 2);
  Vreg& control = find("load_control");
  control.setU8(LoadControl(control.getU8()).withLightingController(text == "1").byte());
  return 0;
}

int ChargerSettings::setTxPortFunction(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION) || lacks("port_tx_function")) return 1;
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
        allowed = has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
        break;
      case 4:
        allowed = has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT);
        break;
      case 5:
        allowed = has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY);
        break;
      default:
        break;
    }
  }
  if (!allowed) return refuse(*io.err, 2);
  find("port_tx_function").setU8(static_cast<std::uint8_t>(*function));
  return 0;
}

int ChargerSettings::setRxPortFunction(const std::string& text) {
  if (!has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) return 1;
  return storeByte(*this, "port_rx_function", text, 2, 2);
}

int ChargerSettings::setRelayMode(const std::string& text) {
  // Mode 10 makes the relay follow the load output, so it needs one.
  const int highest = hasLoadOutput() ? 10 : 9;
  // One byte: the width of the charger's relay mode register and of every reader of the setting;
  // a four-byte write would be refused or misread by the charger.
  return storeByte(*this, "relay_mode", text, highest, 2);
}

int ChargerSettings::setRelayOutputLowSet(const std::string& text) {
  return storeNonZero(*this, "relay_output_low_voltage_set", parseVoltage(text, 0));
}

int ChargerSettings::setRelayOutputLowClear(const std::string& text) {
  return storeNonZero(*this, "relay_output_low_voltage_clear", parseVoltage(text, 0));
}

int ChargerSettings::setRelayOutputHighSet(const std::string& text) {
  return storeNonZero(*this, "relay_output_high_voltage_set", parseVoltage(text, 0));
}

int ChargerSettings::setRelayOutputHighClear(const std::string& text) {
  return storeNonZero(*this, "relay_output_high_voltage_clear", parseVoltage(text, 0));
}

int ChargerSettings::setRelayInputHighSet(const std::string& text) {
  return storeNonZero(*this, "relay_input_high_voltage_set", parsePanelVoltage(text, 0));
}

int ChargerSettings::setRelayInputHighClear(const std::string& text) {
  return storeNonZero(*this, "relay_input_high_voltage_clear", parsePanelVoltage(text, 0));
}

namespace {

// The float and absorption voltages as the charger would hold them, when both are known.
struct ChargePair {
  double absorption, floatVoltage;
};

std::optional<ChargePair> chargePair(VregTable& settings) {
  const Vreg* absorption = settings.lookup("absorption_voltage");
  const Vreg* floatVoltage = settings.lookup("float_voltage");
  for (const Vreg* vreg : {absorption, floatVoltage}) {
    if (vreg == nullptr || vreg->value.empty() || vregReadFailed(vreg->status) ||
        vreg->status == VREG_SKIPPED)
      return std::nullopt;
  }
  return ChargePair{absorption->getNumber(), floatVoltage->getNumber()};
}

}  // namespace

bool ChargerSettings::floatAboveAbsorption() {
  const std::optional<ChargePair> pair = chargePair(settings);
  return pair && pair->floatVoltage > pair->absorption;
}

void ChargerSettings::reportFloatAboveAbsorption() {
  const std::optional<ChargePair> pair = chargePair(settings);
  if (!pair) return;
  *io.err << "float voltage " << fixedPoint(pair->floatVoltage, 2)
          << " V is above the absorption voltage " << fixedPoint(pair->absorption, 2)
          << " V: the float voltage may not exceed the absorption voltage\n\n";
}

}  // namespace sunlink
