// The setters: one per editable setting, shared by the command line and the menus, with the parsers
// that judge typed values against the charger at hand. They change the in-memory settings list
// only (restore carries the values to the charger later) and print nothing: whether a value was
// taken, and why not, they return for the console to show. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "charger/parsers.h"
#include "charger/setting_catalogue.h"

namespace sunlink {

class ChargerSettings;

// What a setter made of the text it was given.
class SetResult {
 public:
  enum class Kind {
    accepted,   // taken; it may equal the value held (whether anything changed is told by values())
    ignored,    // refused without a word: a feature the charger lacks, a setting it does not have
    refused,    // the text is no value of the setting, or lies outside its range: why says which
    listFault,  // the settings list lacks a setting the setter needs: a fault of the list, not of
                // the text
  };

  static SetResult accepted() { return SetResult(Kind::accepted, ""); }
  static SetResult ignored() { return SetResult(Kind::ignored, ""); }
  static SetResult refused(std::string why) { return SetResult(Kind::refused, std::move(why)); }
  static SetResult listFault(std::string why) { return SetResult(Kind::listFault, std::move(why)); }

  Kind kind() const { return kind_; }
  bool isAccepted() const { return kind_ == Kind::accepted; }
  // What the user is told ("Unable to interpret value", "float voltage must be between ..."),
  // without line ends; empty when accepted or ignored.
  const std::string& why() const { return why_; }

 private:
  SetResult(Kind kind, std::string why) : kind_(kind), why_(std::move(why)) {}

  Kind kind_;
  std::string why_;
};

// The setters of one settings model. Refers to the model; does not own it.
class SettingSetters {
 public:
  explicit SettingSetters(ChargerSettings& model) : model_(model) {}

  ChargerSettings& model() { return model_; }

  // Parsers whose ranges follow the charger. Tolerant: a voltage clamped to 75 % to 145 % of the
  // system voltage (the load and relay levels). Strict (refused outside the range, see
  // withinRange): a charge voltage (absorption, float, equalisation) in the same range, in V;
  // mV/K up to firmware 1.16 from -21 to 21 × V / 12, later from -30 × V / 12 to 0; A from 0.1 to
  // the charger's rating (without a reported rating, to what the register holds).
  Reading<double> parseVoltage(const std::string& text, double defaultValue);
  Parsed<double> parseChargeVoltage(const std::string& text, const char* name);
  Parsed<double> parseTemperatureCompensation(const std::string& text);
  Parsed<double> parseCurrent(const std::string& text);

  // A charge setting (charge voltages, compensation, current limit, absorption time) belongs to the
  // battery table: a value accepted for one makes the table the user's ("battery_type" 0xFF).
  void markUserDefined();
  // Whether setBatteryVoltage takes a voltage other than 0 (auto detect): not when restore would
  // never carry it to the charger (a preset battery-voltage setting, or one whose read failed).
  bool batteryVoltageSettable();

  // A refused value changes nothing, the battery type included. Never throw for bad user text. A
  // setter for a feature the charger lacks, or a setting it answered it does not have, ignores the
  // text.
  SetResult setBatteryVoltage(const std::string& text);
  SetResult setAbsorptionVoltage(const std::string& text);
  SetResult setFloatVoltage(const std::string& text);
  SetResult setEqualisationVoltage(const std::string& text);
  SetResult setTemperatureCompensation(const std::string& text);
  SetResult setCurrentLimit(const std::string& text);
  SetResult setAbsorptionTimeLimit(const std::string& text);
  SetResult setCellGuardMode(const std::string& text);
  SetResult setAutoEqualise(const std::string& text);
  SetResult setLoadSwitchHigh(const std::string& text);
  SetResult setLoadSwitchLow(const std::string& text);
  SetResult setLoadMode(const std::string& text);
  SetResult setLightingController(const std::string& text);
  SetResult setTxPortFunction(const std::string& text);
  SetResult setRxPortFunction(const std::string& text);
  SetResult setRelayMode(const std::string& text);
  SetResult setRelayOutputLowSet(const std::string& text);
  SetResult setRelayOutputLowClear(const std::string& text);
  SetResult setRelayOutputHighSet(const std::string& text);
  SetResult setRelayOutputHighClear(const std::string& text);
  SetResult setRelayInputHighSet(const std::string& text);
  SetResult setRelayInputHighClear(const std::string& text);

 private:
  // What the charger holds for a setting, by the catalogue, for its system voltage now.
  SettingLimits limitsOf(const char* label);
  SetResult storeLevel(const char* label, const Reading<double>& level);
  SetResult storeChargeSetting(const char* label, const Parsed<double>& value);
  SetResult storeByte(const char* label, const std::string& text, int highest);

  ChargerSettings& model_;
};

}  // namespace sunlink
