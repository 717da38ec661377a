// The settings-level operations around retrieve and restore: their banners, switching the charger
// off while its settings change, and putting the charger back on its own battery table.

#include <exception>
#include <mutex>
#include <stdexcept>

#include "app/log.h"
#include "charger/charger_settings.h"
#include "device/device_commands.h"
#include "link/qmx_serial.h"
#include "protocol/hex_msg.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "settings/restore.h"
#include "settings/retrieve.h"

namespace sunlink {

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
  int status = 0;
  try {
    // The charger must not act on a half-written set of settings.
    chargerOff(serial, *io.out, *io.err);
    *io.out << "=== Storing settings to the mppt charger ===\n" << std::flush;
    status = restore(serial, settings);
    // The lighting timer runs on the charger's clock; a settings file without "load_control"
    // (one from a charger without a load output) leaves the timer as the charger has it.
    const Vreg* control = settings.lookup("load_control");
    if (has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) && control != nullptr &&
        (control->getU8() & 0x80) != 0) {
      setClock(serial, *io.out, *io.err);
    }
  } catch (...) {
    // A charger left switched off stops charging its battery. Whatever went wrong after it was
    // switched off (the charger falling silent part-way, a failure of our own), try to switch it
    // back on before the failure goes on to end the run.
    try {
      chargerOn(serial, *io.out, *io.err);
    } catch (const std::exception& e) {
      logError("settings", "store: switching the charger back on failed: %s", e.what());
    } catch (...) {
      logError("settings", "store: switching the charger back on failed");
    }
    throw;
  }
  chargerOn(serial, *io.out, *io.err);
  return status;
}

int ChargerSettings::useFactoryTable() {
  // A charger without a rotary switch has one factory table, number 1.
  std::uint8_t position = 1;
  if (has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER) && link != nullptr) {
    try {
      std::lock_guard<std::recursive_mutex> lock(link->linkLock());
      HexMsg reply;
      if (HexProtocol(*link).getRegister(REG_ROTARY_POSITION, reply) == 0) {
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
