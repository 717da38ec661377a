// The settings-level operations around retrieve and restore: their banners, switching the charger
// off while its settings change, and putting the charger back on its own battery table.

#include <boost/system/system_error.hpp>
#include <exception>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/log.h"
#include "base/shown_text.h"
#include "base/statuses.h"
#include "charger/charger_settings.h"
#include "charger/load_control.h"
#include "charger/setting_catalogue.h"
#include "codec/hex_msg.h"
#include "device/device_commands.h"
#include "link/qmx_serial.h"
#include "platform/signals.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "settings/restore.h"
#include "settings/retrieve.h"

namespace sunlink {

namespace {

std::string labelList(const std::vector<std::string>& labels) {
  if (labels.empty()) return "none";
  std::string list;
  // A settings file's labels are shown as text, never obeyed by the terminal.
  for (const std::string& label : labels) list += (list.empty() ? "" : ", ") + shownText(label);
  return list;
}

// The charger's state after a store, as the store's report ends.
std::string stateAfterStore(bool foundOff, bool switched, int on) {
  if (foundOff) return "the charger was switched off before the store and stays off.";
  if (!switched) return "the charger was not switched off.";
  if (on == kExitOk) return "the charger confirmed it is switched on.";
  return std::string("the charger did not confirm it is switched on and ") + chargerMayBeOff;
}

// One line on err when the store did not carry everything or the charger did not confirm the
// switch-on: how far the store got, and the charger's state.
void reportStore(std::ostream& err, const RestoreProgress& progress, int status, bool failed,
                 const std::string& state, int on, int request) {
  std::vector<std::string> written;
  std::vector<std::string> notWritten;
  for (const std::string& label : progress.toStore)
    (progress.stored.count(label) ? written : notWritten).push_back(label);
  if (request != 0) {
    err << "Store interrupted by " << terminationRequestName(request)
        << ": settings not written: " << labelList(notWritten) << "; " << state << std::endl;
  } else if (failed || status != kExitOk) {
    err << "Store incomplete: settings written: " << labelList(written)
        << "; not written: " << labelList(notWritten) << "; " << state << std::endl;
  } else if (on != kExitOk) {
    err << "The charger did not confirm it is switched on after the store and " << chargerMayBeOff
        << std::endl;
  }
}

// The settings part of a store: banner, restore, and the clock the lighting timer runs on.
// Returns restore's status; a failure that ends it (the charger falling silent part-way, a lost
// port, a failure of our own) is kept in failure.
int writeSettings(ChargerSettings& model, QmxSerial& serial, const std::set<std::string>& only,
                  bool writes, RestoreProgress& progress, std::exception_ptr& failure,
                  std::ostream& out, std::ostream& err) {
  try {
    out << "=== Storing settings to the mppt charger ===\n" << std::flush;
    const int status = restore(serial, model.settings, &progress, &err, &only);
    // A settings file without "load_control" (one from a charger without a load output) leaves
    // the timer as the charger has it; a pass that only checked changed nothing.
    const Vreg* control = model.settings.lookup("load_control");
    if (writes && model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) && control != nullptr &&
        LoadControl(control->getU8()).lightingController()) {
      setClock(serial, out, err);
    }
    return status;
  } catch (...) {
    failure = std::current_exception();
    return kExitOk;
  }
}

// The failures the store's report describes in one more line, which then end the run with 3
// instead of an ERROR banner: the charger that stopped answering, the port that failed. False
// for any other failure.
bool reportCause(std::exception_ptr failure, const RestoreProgress& progress,
                 const std::string& port, std::ostream& err) {
  try {
    std::rethrow_exception(failure);
  } catch (const no_response&) {
    err << "The charger stopped answering during the store";
    if (!progress.current.empty()) err << " (no answer to the " << progress.current << " write)";
    err << "." << std::endl;
    return true;
  } catch (const boost::system::system_error& e) {
    err << "The serial port " << port << " failed during the store: " << e.what() << "."
        << std::endl;
    return true;
  } catch (...) {
  }
  return false;
}

// Whether a store writes the Vreg (rather than checking it against a verify register).
bool writtenByStore(const Vreg& vreg) { return meantForCharger(vreg) && vreg.verify == REG_NONE; }

bool setsSystemVoltage(const std::string& label) {
  return label == "battery_voltage" || label == "battery_voltage_setting";
}

// "absorption_voltage: 14.40 V -> 14.20 V", one line per write, before anything is written.
void reportWrites(std::ostream& out, const std::vector<SettingWrite>& writes) {
  for (const SettingWrite& w : writes) {
    const std::string before = w.before.empty() ? "not read" : settingText(w.label, w.before);
    out << shownText(w.label) << ": " << before << " -> " << settingText(w.label, w.after) << '\n';
  }
  out << std::flush;
}

// The store of the settings in only (writes, when writes is set, and checks), with the charger
// switched off around it when it writes and was not found off; see storeSettings.
int storeWithChargerOff(ChargerSettings& model, QmxSerial& serial,
                        const std::set<std::string>& only, bool writes, RestoreProgress& progress,
                        std::ostream& out, std::ostream& err) {
  // A charger the user switched off is put back as it was found: its settings are written while it
  // stays off. Any other (on, or a state it did not tell) must not act on a half-written set of
  // settings: it is switched off around the store.
  const bool foundOff = model.capabilities.switchedOn == false;
  // Checks alone change nothing: the charger is not switched for them.
  const bool switching = writes && !foundOff;
  // From the first charger-off write until the switch-on has been tried, a request to end the
  // program (Ctrl-C, kill, a dropped ssh session) must not leave the charger switched off with
  // half its settings: it is held, ends the store after the request in flight, and is answered
  // once the charger has been switched on again. Ctrl-Z waits until then too.
  TerminationHold hold([&serial, switching](int request) {
    serial.interrupt();
    logInfo("settings", "store: %s received, %s before ending",
            terminationRequestName(request).c_str(),
            switching ? "switching the charger on" : "stopping the store");
  });
  std::exception_ptr failure;
  // A switch-off that was refused or not answered stops the store: the settings would go into a
  // running charger.
  const int off = switching ? chargerOff(serial, out, err) : kExitOk;
  const int status = off == kExitOk
                         ? writeSettings(model, serial, only, writes, progress, failure, out, err)
                         : kExitOk;

  // A charger left switched off stops charging its battery: whatever ended the store, it is
  // switched on again (after a failed switch-off too, which may have taken effect unanswered). A
  // request to end that arrives from here on no longer stops the link.
  hold.disarm();
  serial.allowRequests();
  const int on = switching ? chargerOn(serial, out, err) : kExitOk;
  const int request = hold.release();
  if (switching)
    model.capabilities.switchedOn = on == kExitOk ? std::optional<bool>(true) : std::nullopt;
  const std::string state = stateAfterStore(foundOff, switching, on);
  if (off != kExitOk) {
    err << "Store not made: the charger did not confirm the switch-off, so no setting was "
           "written; "
        << state << std::endl;
  } else {
    reportStore(err, progress, status, failure != nullptr, state, on, request);
  }
  if (request != 0) throw interrupted() << tag_exit_code(exitStatusForRequest(request));
  if (off != kExitOk) return off;
  if (foundOff) {
    out << "the charger was switched off before the store and stays off; `chgtune "
           "--switch-on` switches it on"
        << std::endl;
  }
  if (failure) {
    if (!reportCause(failure, progress, serial.portName(), err)) std::rethrow_exception(failure);
    return kExitNoAnswer;
  }
  // A store that failed keeps its own status; otherwise a failed switch-on decides.
  return status != kExitOk ? status : on;
}

}  // namespace

QmxSerial& ChargerSettings::requireLink() {
  if (link == nullptr) throw std::logic_error("charger settings model has no link");
  return *link;
}

int ChargerSettings::retrieveSettings(std::ostream& out) {
  QmxSerial& serial = requireLink();
  out << "=== Retrieving settings from the mppt charger ===\n" << std::flush;
  const int status = retrieve(serial, settings);
  // What the changes of this run are compared with: only what the charger told.
  std::map<std::string, std::string> read;
  for (const Vreg& vreg : settings.vregs()) {
    if (vreg.status == VREG_OK && !vreg.value.empty() && !vreg.absentFromCharger)
      read.emplace(vreg.label, vreg.value);
  }
  retrievedValues_ = std::move(read);
  return status;
}

std::vector<SettingWrite> ChargerSettings::pendingWrites() const {
  const auto readValue = [this](const std::string& label) -> const std::string* {
    if (!retrievedValues_) return nullptr;
    const auto it = retrievedValues_->find(label);
    return it != retrievedValues_->end() ? &it->second : nullptr;
  };
  std::set<std::string> chosen;
  bool systemVoltage = false;
  for (const Vreg& vreg : settings.vregs()) {
    if (!writtenByStore(vreg)) continue;
    const std::string* read = readValue(vreg.label);
    if (read != nullptr && *read == vreg.value) continue;
    chosen.insert(vreg.label);
    systemVoltage = systemVoltage || setsSystemVoltage(vreg.label);
  }
  if (systemVoltage) {
    // The charge voltages go with the system voltage they were scaled for, as they always have.
    chosen.insert({"battery_voltage", "battery_voltage_setting"});
    for (const SettingRow& row : settingCatalogue()) {
      if (row.followsSystemVoltage) chosen.insert(row.label);
    }
  }
  std::vector<SettingWrite> writes;
  for (const Vreg& vreg : settings.vregs()) {
    if (!writtenByStore(vreg) || chosen.count(vreg.label) == 0) continue;
    const std::string* read = readValue(vreg.label);
    writes.push_back({vreg.label, read != nullptr ? *read : std::string(), vreg.value});
  }
  return writes;
}

int ChargerSettings::storeSettings(std::ostream& out, std::ostream& err, bool dryRun) {
  QmxSerial& serial = requireLink();
  storeWrites_ = pendingWrites();
  reportWrites(out, storeWrites_);
  std::set<std::string> only;
  for (const SettingWrite& w : storeWrites_) only.insert(w.label);
  if (dryRun) {
    out << "Dry run: nothing was written to the charger." << std::endl;
    return kExitOk;
  }
  // A file's verify registers are checked whether or not anything is written.
  for (const Vreg& vreg : settings.vregs())
    if (meantForCharger(vreg) && vreg.verify != REG_NONE) only.insert(vreg.label);
  if (only.empty()) {
    out << "The charger holds these settings already: nothing was written." << std::endl;
    return kExitOk;
  }
  RestoreProgress progress;
  const int status =
      storeWithChargerOff(*this, serial, only, !storeWrites_.empty(), progress, out, err);
  // What the charger took is what it holds now: a later store in this run compares with that.
  if (retrievedValues_) {
    for (const SettingWrite& w : storeWrites_)
      if (progress.stored.count(w.label) != 0) (*retrievedValues_)[w.label] = w.after;
  }
  return status;
}

int ChargerSettings::useFactoryTable() {
  // A charger without a rotary switch has one factory table, number 1.
  std::uint8_t position = 1;
  if (has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER) && link != nullptr) {
    try {
      std::lock_guard<std::recursive_mutex> lock(link->linkLock());
      HexMsg reply;
      if (HexProtocol(*link).getRegister(REG_ROTARY_POSITION, reply) == kExchangeOk) {
        const std::uint8_t switchPosition = reply.read8();
        // Table numbers count the switch positions 0 to 7 from 1.
        if (reply.good() && switchPosition < 8) position = switchPosition + 1;
      }
    } catch (const std::exception& e) {
      // Falling back to table 1 is the documented outcome of a failed read.
      logWarning("settings", "rotary switch position not read: %s", e.what());
    }
  }
  find("battery_type").setU8(position);
  factoryTableChosen_ = true;
  return 0;
}

}  // namespace sunlink
