// ChargerSettings: the one settings model of a run. Holds the charger's identity and capabilities,
// its settings list (the register map chosen for this charger), and the console streams the
// setters, the printout and the menus talk through. Refers to the link; does not own it.
// Main thread only.
#pragma once

#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/capabilities.h"
#include "settings/vreg_table.h"

namespace sunlink {

class QmxSerial;

// Where the console dialogue goes. The program uses the process's standard streams; tests swap in
// string streams.
struct ConsoleIo {
  std::istream* in = &std::cin;
  std::ostream* out = &std::cout;
  std::ostream* err = &std::cerr;
  // Whether out shows on a terminal, whose screen each menu redraw clears. The model built on a
  // link asks the platform; tests may set it.
  bool screen = false;
  // Set while a menu session runs on a screen (MessageEcho, console/menu_input.h): the messages
  // of the last answer, held to be shown again after the redraw, and the stream the menus write
  // their notices on (a copy of out whose text is held too). Null otherwise.
  std::string* heldMessages = nullptr;
  std::ostream* notices = nullptr;
};

constexpr std::uint8_t BATTERY_TYPE_USER_DEFINED = 0xFF;

// One setting a store writes: the value this run's retrieve read from the charger ("" when it could
// not be read, or nothing was retrieved) and the value that replaces it, as value texts.
struct SettingWrite {
  std::string label;
  std::string before;
  std::string after;
};

class ChargerSettings {
 public:
  // Identifies the charger on link (ending the program on a refusal) and builds its register map.
  explicit ChargerSettings(QmxSerial& link);
  // Builds the register map for capabilities already known; link may be null when nothing will
  // talk to a charger (codec and printout tests).
  ChargerSettings(const Capabilities& capabilities, QmxSerial* link);
  ChargerSettings(const ChargerSettings&) = delete;
  ChargerSettings& operator=(const ChargerSettings&) = delete;

  VregTable settings;
  Capabilities capabilities;
  QmxSerial* link;
  ConsoleIo io;

  bool has(std::uint32_t mask) const { return capabilities.has(mask); }
  // A load output or an alarm relay, of its own or driven through the TX port (virtual).
  bool hasLoadOutput() const {
    return has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT);
  }
  bool hasRelay() const {
    return has(SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1 | SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY);
  }
  Vreg& find(const std::string& label) { return settings.find(label); }
  // Whether the charger answered that it has no register for this setting of the list. Nothing
  // offers to change it, and the printout leaves it out. (A label missing from the list is a fault
  // of the list, which find reports.)
  bool lacks(const std::string& label) const {
    const Vreg* vreg = settings.lookup(label);
    return vreg != nullptr && vreg->absentFromCharger;
  }

  // The value texts of the settings list, in table order. A menu or an option list changed
  // something when they differ afterwards: a value typed equal to the current one is no change.
  std::vector<std::string> values() const;
  // What a store would write now, in table order: every setting it carries to the charger whose
  // value differs from the one retrieve read for that label, or that retrieve could not read (or
  // nothing was retrieved). A changed system voltage brings every setting that follows it along
  // (battery_voltage, the catalogue's voltages that follow it, battery_voltage_setting), as the
  // charger judges those voltages together.
  std::vector<SettingWrite> pendingWrites() const;

  // 12, 24, 36 or 48: "battery_voltage", or derived from the charge voltages when it is 0.
  int systemVoltage();

  // Parsers: never throw. Typed text is prepared (decimal comma, cut at the first stop character,
  // see charger/parsers.h), converted and clamped to the parser's range. Unreadable text writes
  // "Unable to interpret value" and two line ends on io.err and gives the default (0 minutes for a
  // duration; an empty answer to parsePercent silently gives the default). Voltages: 75 % to
  // 145 % of systemVoltage; panel voltages: up to the panel rating (a negative one is refused like
  // unreadable text). The lighting and relay menus read their values through these.
  double parseVoltage(std::string text, double defaultValue);
  double parsePanelVoltage(std::string text, double defaultValue);
  std::int16_t parseSmallInt(std::string text, std::int16_t defaultValue, int low, int high);
  std::uint16_t parseDuration(std::string text, double maxHours);
  std::uint8_t parsePercent(std::string text, std::uint8_t defaultValue);

  // The strict parsers of the values of the command line and the main menu's setting keys. The
  // text is a number with a point or one comma, optionally followed by blanks and the setting's
  // unit (convertSettingNumber); anything else writes "Unable to interpret value" and an empty
  // line on io.err and gives nothing. A number outside the setting's range is refused, not
  // clamped: "<name> must be between <low> and <high> <unit>, not <value> <unit>" and an empty
  // line on io.err, and nothing. A clamped typo (144 for 14.4, 1000 A) would charge the battery at
  // the top of the range.
  // A charge voltage (absorption, float, equalisation): 75 % to 145 % of systemVoltage, in V.
  std::optional<double> parseChargeVoltage(std::string text, const char* name);
  // mV/K: up to firmware 1.16 from -21 to 21 × V / 12, later from -30 × V / 12 to 0.
  std::optional<double> parseTemperatureCompensation(std::string text);
  // A: from 0.1 to the charger's rating; without a reported rating, to what the register holds.
  std::optional<double> parseCurrent(std::string text);
  // Hours, typed as hours (6.5, 6,5 h) or H:MM (0 to 59 minutes), from 0:01 to maxHours.
  std::optional<double> parseHours(std::string text, double maxHours);

  // Setters: 0 when the value was accepted, 1 when it was refused; a refused value changes
  // nothing. An accepted value may equal the current one, so whether anything changed is told by
  // comparing values() (see pendingWrites). Never throw for bad user text. A setter for a
  // feature the charger lacks fails silently. The charge, current and absorption time setters mark
  // the battery type user defined when they accept a value. setBatteryVoltage also refuses a
  // voltage that restore would never carry to the charger (a preset battery-voltage setting).
  void markUserDefined();
  // Whether setBatteryVoltage takes a voltage other than 0 (auto detect): not when restore would
  // never carry it to the charger.
  bool batteryVoltageSettable();
  int setBatteryVoltage(const std::string& text);
  int setAbsorptionVoltage(const std::string& text);
  int setFloatVoltage(const std::string& text);
  int setEqualisationVoltage(const std::string& text);
  int setTemperatureCompensation(const std::string& text);
  int setCurrentLimit(const std::string& text);
  int setAbsorptionTimeLimit(const std::string& text);
  int setCellGuardMode(const std::string& text);
  int setAutoEqualise(const std::string& text);
  int setLoadSwitchHigh(const std::string& text);
  int setLoadSwitchLow(const std::string& text);
  int setLoadMode(const std::string& text);
  int setLightingController(const std::string& text);
  int setTxPortFunction(const std::string& text);
  int setRxPortFunction(const std::string& text);
  int setRelayMode(const std::string& text);
  int setRelayOutputLowSet(const std::string& text);
  int setRelayOutputLowClear(const std::string& text);
  int setRelayOutputHighSet(const std::string& text);
  int setRelayOutputHighClear(const std::string& text);
  int setRelayInputHighSet(const std::string& text);
  int setRelayInputHighClear(const std::string& text);

  // The float voltage may not exceed the absorption voltage. True when the values held break that
  // rule; a value that was not read from the charger (its read failed) is not judged.
  bool floatAboveAbsorption();
  // "float voltage 15.00 V is above the absorption voltage 14.20 V: ..." and an empty line on
  // io.err.
  void reportFloatAboveAbsorption();

  // The settings printout on io.out.
  void printSettings();

  // Settings-level operations of the run sequence (need the link).
  int retrieveSettings();  // banner + retrieve; retrieve's status
  // The writes (pendingWrites) each reported on io.out as "label: old -> new"; then, when there
  // is one, charger off, banner, restore of those settings alone (and the checks of verify
  // registers), clock (lighting controller on), charger on. With nothing to write, the charger is
  // not switched. A dry run reports the writes and ends there with 0. Returns restore's
  // status, or, when that is 0, the switch-on's (3 or 22 when the charger did not confirm it).
  // A charger that identification found switched off gets no switch-off and no switch-on: it
  // stays off, and io.out says so. A switch-off that was refused or not answered stops the store
  // before any setting: the switch-on is still tried, and the switch-off's status returned.
  // Once the charger has been switched off, switching it on is attempted whatever fails after
  // that. A charger that stops answering, or a port that fails, ends the store with 3 and a line
  // naming the cause; any other failure goes on to the caller. A termination request (Ctrl-C,
  // kill) during the store stops it after the request in flight; the charger is switched on, and
  // interrupted is thrown with the exit status 128 + the signal number. A store that did not carry
  // everything, or a switch-on not confirmed, is reported on io.err in one line. Each resend of an
  // unanswered write is announced on io.err.
  int storeSettings(bool dryRun = false);
  // The writes the last store reported (made, or for a dry run not made).
  const std::vector<SettingWrite>& storeWrites() const { return storeWrites_; }
  int useFactoryTable();  // battery type back to the charger's own table; 0
  // Whether useFactoryTable ran in this run: the charger will then charge at its table's voltages,
  // not at the ones read from it.
  bool factoryTableChosen() const { return factoryTableChosen_; }

 private:
  void pushRegisterMap();
  QmxSerial& requireLink();

  // The values the last retrieve read, by label (the settings it could not read are left out);
  // what a store compares with.
  std::optional<std::map<std::string, std::string>> retrievedValues_;
  std::vector<SettingWrite> storeWrites_;
  bool factoryTableChosen_ = false;
};

}  // namespace sunlink
