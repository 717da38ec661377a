// The settings-level operations around retrieve and restore: their banners, switching the charger
// off while its settings change, and putting the charger back on its own battery table.

#include <exception>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/log.h"
#include "base/shown_text.h"
#include "base/statuses.h"
#include "charger/charger_settings.h"
#include "charger/load_control.h"
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

// One line on err when the store did not carry everything or the charger did not confirm the
// switch-on: how far the store got, and whether the charger is on.
void reportStore(std::ostream& err, const RestoreProgress& progress, int status, bool failed,
                 int on, int request) {
  std::vector<std::string> written;
  std::vector<std::string> notWritten;
  for (const std::string& label : progress.toStore)
    (progress.stored.count(label) ? written : notWritten).push_back(label);
  const std::string leftOff = "may be left off (run chgtune again, or power-cycle the charger).";
  std::string switchedOn = "the charger confirmed it is switched on.";
  if (on != 0) switchedOn = "the charger did not confirm it is switched on and " + leftOff;
  if (request != 0) {
    err << "Store interrupted by " << terminationRequestName(request)
        << ": settings not written: " << labelList(notWritten) << "; " << switchedOn << std::endl;
  } else if (failed || status != kExitOk) {
    err << "Store incomplete: settings written: " << labelList(written)
        << "; not written: " << labelList(notWritten) << "; " << switchedOn << std::endl;
  } else if (on != 0) {
    err << "The charger did not confirm it is switched on after the store and " << leftOff
        << std::endl;
  }
}

}  // namespace

QmxSerial& ChargerSettings::requireLink() {
  if (link == nullptr) throw std::logic_error("charger settings model has no link");
  return *link;
}

int ChargerSettings::retrieveSettings() {
  QmxSerial& serial = requireLink();
  *io.out << "=== Retrieving settings from the mppt charger ===\n" << std::flush;
  const int status = retrieve(serial, settings);
  retrievedValues_ = values();  // what the changes of this run are compared with
  return status;
}

int ChargerSettings::storeSettings() {
  QmxSerial& serial = requireLink();
  // From the first charger-off write until the switch-on has been tried, a request to end the
  // program (Ctrl-C, kill, a dropped ssh session) must not leave the charger switched off with
  // half its settings: it is held, ends the store after the request in flight, and is answered
  // once the charger has been switched on again. Ctrl-Z waits until then too.
  TerminationHold hold([&serial](int request) {
    serial.interrupt();
    logInfo("settings", "store: %s received, switching the charger on before ending",
            terminationRequestName(request).c_str());
  });
  RestoreProgress progress;
  int status = kExitOk;
  std::exception_ptr failure;
  try {
    // The charger must not act on a half-written set of settings.
    chargerOff(serial, *io.out, *io.err);
    *io.out << "=== Storing settings to the mppt charger ===\n" << std::flush;
    status = restore(serial, settings, &progress);
    // The lighting timer runs on the charger's clock; a settings file without "load_control"
    // (one from a charger without a load output) leaves the timer as the charger has it.
    const Vreg* control = settings.lookup("load_control");
    if (has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) && control != nullptr &&
        LoadControl(control->getU8()).lightingController()) {
      setClock(serial, *io.out, *io.err);
    }
  } catch (...) {
    // The charger falling silent part-way, a lost port, a failure of our own: it goes on to end
    // the run once the charger has been switched on again.
    failure = std::current_exception();
  }

  // A charger left switched off stops charging its battery: whatever ended the store, it is
  // switched on again. A request to end that arrives from here on no longer stops the link.
  hold.disarm();
  serial.allowRequests();
  const int on = chargerOn(serial, *io.out, *io.err);
  const int request = hold.release();
  reportStore(*io.err, progress, status, failure != nullptr, on, request);
  if (request != 0) throw interrupted() << tag_exit_code(exitStatusForRequest(request));
  if (failure) std::rethrow_exception(failure);
  // A store that failed keeps its own status; otherwise a failed switch-on decides.
  return status != kExitOk ? status : on;
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
  return 0;
}

}  // namespace sunlink
