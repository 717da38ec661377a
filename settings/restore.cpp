#include "settings/restore.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/log.h"
#include "base/progress_line.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "settings/retrieve.h"

namespace sunlink {

namespace {

// The bytes of a value text, least significant first, as many as the text has pairs (an odd one
// read with a leading 0): the value as the charger takes it, whatever width it is. None when the
// text is not upper-case hex digits.
std::optional<std::vector<std::uint8_t>> wireBytes(const std::string& value) {
  const std::string wire = reverseBytePairs(value);
  if (!isWireReady(wire)) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < wire.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(wire.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Writes the value to register id with as many bytes as the value text has. False when the
// charger refused it (its reason, when it gave one with the flags byte, goes to refusal) or
// acknowledged something else; throws no_response when it did not answer. Each resend of an
// unanswered write is announced on notices, when given.
bool writeValue(HexProtocol& hex, const Vreg& vreg, std::uint16_t id, std::ostream* notices,
                std::string& refusal) {
  const char* label = vreg.label.c_str();
  logInfo("settings", "restore: set register \"%s\" (0x%04X=0x%s)", label,
          static_cast<unsigned>(id), vreg.value.c_str());
  const std::optional<std::vector<std::uint8_t>> bytes = wireBytes(vreg.value);
  if (!bytes) {
    // A hand-edited value that is not hex digits would go out cut short at the first odd character
    // and the charger could take the remaining bytes as a different value: write nothing.
    logError("settings", "restore: settings vreg \"%s\" value \"0x%s\" is not hex digits", label,
             vreg.value.c_str());
    return false;
  }
  std::uint8_t flags = 0;
  if (hex.writeRegister(id, *bytes, flags,
                        notices ? announceResends(*notices, vreg.label) : ResendNotice()))
    return true;
  if (flags != 0) refusal = ": the charger answered " + setRefusalReason(flags);
  return false;
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
Restored restoreVreg(HexProtocol& hex, Vreg& vreg, std::ostream* notices) {
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
  if (writeValue(hex, vreg, id, notices, refusal)) return Restored::stored;
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
  std::size_t toStore = 0;
  for (const Vreg& vreg : table.vregs()) toStore += handled(vreg) && meantForCharger(vreg);
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
  const ProgressScope shown;
  std::size_t storing = 0;
  for (Vreg& vreg : table.vregs()) {
    // Only what is known to be right goes back: everything retrieve skipped, failed or never
    // reached is left as the charger has it.
    if (!handled(vreg)) continue;
    if (meantForCharger(vreg)) {
      showProgress("Storing " + std::to_string(++storing) + " of " + std::to_string(toStore) +
                   " settings\u2026");
    }
    if (progress) progress->current = vreg.label;
    const Restored restored = restoreVreg(hex, vreg, resendNotices);
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
