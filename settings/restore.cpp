#include "settings/restore.h"

#include <mutex>

#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "settings/retrieve.h"

namespace sunlink {

namespace {

// Same budget as a set register: a charger busy storing to its flash may be slow to answer.
constexpr int kSetAttempts = 10;

// Writes the value to register id with as many bytes as the value text has. False when the
// charger refused it (its reason, when it gave one with the flags byte, goes to refusal) or
// acknowledged something else; throws no_response when it did not answer. Each resend of an
// unanswered write is announced on notices, when given.
bool writeValue(QmxSerial& link, const Vreg& vreg, std::uint16_t id, std::ostream* notices,
                std::string& refusal) {
  const char* label = vreg.label.c_str();
  logInfo("settings", "restore: set register \"%s\" (0x%04X=0x%s)", label,
          static_cast<unsigned>(id), vreg.value.c_str());
  const std::string wire = reverseBytePairs(vreg.value);
  if (!isWireReady(wire)) {
    // A hand-edited value that is not hex digits would go out cut short at the first odd character
    // and the charger could take the remaining bytes as a different value: write nothing.
    logError("settings", "restore: settings vreg \"%s\" value \"0x%s\" is not hex digits", label,
             vreg.value.c_str());
    return false;
  }
  HexMsg request;
  request.append(CMD_SET_REGISTER);
  request.append16(id);
  request.append(0);  // flags
  request.appendHex(wire);

  HexMsg reply;
  if (transact(link, request, {RSP_SET, RSP_UNKNOWN, RSP_FAILED}, kSetAttempts,
               link.timeouts.setRegister, reply,
               notices ? announceResends(*notices, vreg.label) : ResendNotice()) != kExchangeOk) {
    throw no_response();
  }
  const std::uint8_t code = reply.read8();
  const std::uint16_t echoedId = reply.read16();
  const std::uint8_t flags = reply.read8();
  if (!reply.good() || code != RSP_SET || echoedId != id) return false;
  if (flags != 0) refusal = ": the charger answered " + setRefusalReason(flags);
  return flags == 0;
}

// Compares the value with what register id holds. False when it cannot be read or differs.
bool verifyValue(HexProtocol& hex, const Vreg& vreg, std::uint32_t id) {
  const char* label = vreg.label.c_str();
  HexMsg reply;
  // A register id beyond 16 bits cannot exist on the charger: it fails like an unreadable one.
  if (id > 0xFFFF || hex.getRegister(static_cast<std::uint16_t>(id), reply) != kExchangeOk) {
    logError("settings", "restore: verify register  \"%s\" (0x%04X) failed", label,
             static_cast<unsigned>(id));
    return false;
  }
  if (registerValueText(reply) != vreg.value) {
    logError("settings", "restore: verify register \"%s\" (0x%04X) failed", label,
             static_cast<unsigned>(id));
    return false;
  }
  logInfo("settings", "restore: settings vreg \"%s\" checked ok", label);
  return true;
}

}  // namespace

bool meantForCharger(const Vreg& vreg) {
  if (vreg.status != VREG_OK || vreg.value.empty() || vreg.set == REG_NO_ACCESS) return false;
  return vreg.verify != REG_NONE || vreg.set != REG_NONE || vreg.get != REG_NONE;
}

namespace {

enum class Restored { skipped, stored, failed };

// Stores one Vreg that holds a value known to be right (or, for a verify Vreg, checks that the
// charger holds it).
Restored restoreVreg(QmxSerial& link, HexProtocol& hex, Vreg& vreg, std::ostream* notices) {
  const char* label = vreg.label.c_str();
  if (vreg.set == REG_NO_ACCESS) {
    logInfo("settings", "restore: settings vreg \"%s\" read-only, skipping", label);
    return Restored::skipped;
  }
  if (vreg.verify != REG_NONE) {
    if (verifyValue(hex, vreg, vreg.verify)) return Restored::stored;
    vreg.status = VREG_VERIFY_ERROR;
    return Restored::failed;
  }
  const std::uint32_t target = vreg.set != REG_NONE ? vreg.set : vreg.get;
  if (target == REG_NONE) {
    if (!vreg.group.empty()) {
      // Presets only carry values for the conditions of other Vregs.
      logInfo("settings", "restore: settings vreg \"%s\" is named container \"%s\"", label,
              vreg.group.c_str());
      return Restored::skipped;
    }
    logError("settings", "restore: settings vreg \"%s\" set not properly defined", label);
    return Restored::failed;
  }
  if (target > 0xFFFF) {
    // Only a hand-written file can name such a register; its low 16 bits would be another
    // setting of the charger.
    logError("settings", "restore: settings vreg \"%s\" set not properly defined", label);
    vreg.status = VREG_SET_FAILED;
    return Restored::failed;
  }
  const auto id = static_cast<std::uint16_t>(target);
  std::string refusal;
  if (writeValue(link, vreg, id, notices, refusal)) return Restored::stored;
  logError("settings", "restore: set register \"%s\" (0x%04X=0x%s) failed%s", label,
           static_cast<unsigned>(id), vreg.value.c_str(), refusal.c_str());
  vreg.status = VREG_SET_FAILED;
  return Restored::failed;
}

}  // namespace

int restore(QmxSerial& link, VregTable& table, RestoreProgress* progress,
            std::ostream* resendNotices, const std::set<std::string>* only) {
  // A pass limited to some settings leaves every other one as the charger has it.
  const auto handled = [only](const Vreg& vreg) {
    return vreg.status == VREG_OK && !vreg.value.empty() &&
           (only == nullptr || only->count(vreg.label) != 0);
  };
  if (progress) {
    progress->toStore.clear();
    progress->stored.clear();
    progress->current.clear();
    for (const Vreg& vreg : table.vregs())
      if (handled(vreg) && meantForCharger(vreg)) progress->toStore.push_back(vreg.label);
  }
  std::lock_guard<std::recursive_mutex> lock(link.linkLock());
  HexProtocol hex(link);

  VersionWord versionWord(0);
  if (const int status = pingApplication(hex, "restore", "save", versionWord)) return status;
  logInfo("settings", "restore: saving settings");

  bool passed = true;
  for (Vreg& vreg : table.vregs()) {
    // Only what is known to be right goes back: everything retrieve skipped, failed or never
    // reached is left as the charger has it.
    if (!handled(vreg)) continue;
    if (progress) progress->current = vreg.label;
    const Restored restored = restoreVreg(link, hex, vreg, resendNotices);
    if (progress) progress->current.clear();
    switch (restored) {
      case Restored::stored:
        if (progress) progress->stored.insert(vreg.label);
        break;
      case Restored::failed:
        passed = false;
        break;
      case Restored::skipped:
        break;
    }
  }
  return passed ? kExitOk : kExitWriteFailed;
}

}  // namespace sunlink
