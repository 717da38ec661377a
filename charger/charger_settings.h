// ChargerSettings: the one settings model of a run. Holds the charger's identity and capabilities
// and its settings list (the register map chosen for this charger). Refers to the link; does not
// own it. Prints nothing of its own: the store and retrieve report on the streams they are given,
// and the setters (charger/setters.h) return what they refuse. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/capabilities.h"
#include "settings/vreg_table.h"

namespace sunlink {

class QmxSerial;

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
  // Builds the register map for the charger that identification found (identifyCharger) on
  // link; link may be null when nothing will talk to a charger (codec and printout tests).
  ChargerSettings(const Capabilities& capabilities, QmxSerial* link);
  ChargerSettings(const ChargerSettings&) = delete;
  ChargerSettings& operator=(const ChargerSettings&) = delete;

  VregTable settings;
  Capabilities capabilities;
  QmxSerial* link;

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

  // The float voltage may not exceed the absorption voltage. When the values held break that rule,
  // what the user is told: "float voltage 15.00 V is above the absorption voltage 14.20 V: the
  // float voltage may not exceed the absorption voltage"; none when they keep it. A value that was
  // not read from the charger (its read failed) is not judged.
  std::optional<std::string> chargeVoltageConflict();

  // Settings-level operations of the run sequence (need the link).
  int retrieveSettings(std::ostream& out);  // banner on out + retrieve; retrieve's status
  // The writes (pendingWrites) each reported on out as "label: old -> new"; then, when there
  // is one, charger off, banner, restore of those settings alone (and the checks of verify
  // registers), clock (lighting controller on), charger on. With nothing to write, the charger is
  // not switched. A dry run reports the writes and ends there with 0. Returns restore's
  // status, or, when that is 0, the switch-on's (3 or 22 when the charger did not confirm it).
  // A charger that identification found switched off gets no switch-off and no switch-on: it
  // stays off, and out says so. A switch-off that was refused or not answered stops the store
  // before any setting: the switch-on is still tried, and the switch-off's status returned.
  // Once the charger has been switched off, switching it on is attempted whatever fails after
  // that. A charger that stops answering, or a port that fails, ends the store with 3 and a line
  // naming the cause; any other failure goes on to the caller. A termination request (Ctrl-C,
  // kill) during the store stops it after the request in flight; the charger is switched on, and
  // interrupted is thrown with the exit status 128 + the signal number. A store that did not carry
  // everything, or a switch-on not confirmed, is reported on err in one line. Each resend of an
  // unanswered write is announced on err.
  int storeSettings(std::ostream& out, std::ostream& err, bool dryRun = false);
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
