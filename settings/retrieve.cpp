#include "settings/retrieve.h"

#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <mutex>
#include <vector>

#include "base/log.h"
#include "base/progress_line.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "settings/system_voltage.h"

namespace sunlink {

namespace {

// A getRegister of the charger may fail for a moment (a reply lost on the line); each try already
// carries the exchange's own resends.
constexpr int kReadTries = 3;

// Decides whether the Vreg applies to this charger: logs why not and marks it skipped.
bool applies(Vreg& vreg, std::uint16_t productId, std::int32_t version,
             const std::map<std::string, std::string>& groupValues) {
  const char* label = vreg.label.c_str();
  if (!vreg.productids.empty() && !matchProductIds(productId, vreg.productids)) {
    logInfo("settings", "retrieve: settings vreg \"%s\" skipped (productId)", label);
  } else if (!vreg.minver.empty() && version < parseVersion(vreg.minver)) {
    logInfo("settings", "retrieve: settings vreg \"%s\" skipped (minver)", label);
  } else if (!vreg.maxver.empty() && version > parseVersion(vreg.maxver)) {
    logInfo("settings", "retrieve: settings vreg \"%s\" skipped (maxver)", label);
  } else if (!conditionsHold(vreg, groupValues)) {
    logInfo("settings", "retrieve: settings vreg \"%s\" group mask does not match, skipping",
            label);
  } else if (vreg.get == REG_NO_ACCESS) {
    logInfo("settings", "retrieve: settings vreg \"%s\" not readable, skipping", label);
  } else {
    return true;
  }
  vreg.status = VREG_SKIPPED;
  return false;
}

}  // namespace

std::string registerValueText(const HexMsg& reply) {
  const std::vector<std::uint8_t>& bytes = reply.bytes();
  const std::size_t first = reply.readPosition();
  std::string text;
  if (bytes.size() <= first) return text;  // not even the checksum byte
  // Data bytes are bytes[first] to the one before the checksum. Last first: the charger sends
  // the least significant byte first.
  for (std::size_t end = bytes.size() - 1; end > first; --end) {
    const std::uint8_t byte = bytes[end - 1];
    appendHexByte(text, byte);
  }
  return text;
}

void reportFailedSettings(const VregTable& table, const std::string& file, std::ostream& err) {
  std::string unread;
  std::string outOfLimits;
  for (const Vreg& vreg : table.vregs()) {
    std::string* list = nullptr;
    if (vregReadFailed(vreg.status)) list = &unread;
    if (vreg.status == VREG_LIMIT_FAILED) list = &outOfLimits;
    if (list != nullptr) *list += (list->empty() ? "" : ", ") + vreg.label;
  }
  if (!unread.empty()) {
    err << "Settings not read from the charger"
        << (file.empty() ? std::string() : ", missing from \"" + file + "\"") << ": " << unread
        << std::endl;
  }
  if (!outOfLimits.empty()) err << "Settings outside their limits: " << outOfLimits << std::endl;
}

int pingApplication(HexProtocol& hex, const char* pass, const char* work,
                    VersionWord& versionWord) {
  std::uint16_t answer = 0;
  const bool answered = hex.ping(answer);
  versionWord = VersionWord(answer);
  if (!answered) {
    logError("settings", "%s: no ping reply", pass);
    return kExitNoAnswer;
  }
  if (!versionWord.isApplication()) {
    logError("settings", "%s: application required to %s settings...", pass, work);
    return kExitNotApplication;
  }
  return kExitOk;
}

int limitCheck(const Vreg& vreg) {
  const std::uint32_t x = vreg.hexToBytes(4);
  if (!vreg.min.empty() && x < valueBytes(vreg.min, 4)) return VREG_LIMIT_FAILED;
  if (!vreg.max.empty() && x > valueBytes(vreg.max, 4)) return VREG_LIMIT_FAILED;
  return VREG_OK;
}

void autoBatteryVoltage(Vreg& vreg, std::map<std::string, std::string>& groupValues) {
  if (readNumber(vreg.value, 16) != 0) return;
  // The charger chooses the system voltage itself; take the one its charge voltages belong to,
  // so that restoring the settings later writes a definite voltage.
  int systemVoltage = 12;
  std::vector<std::string> groups;
  boost::split(groups, vreg.auto_bat, boost::is_any_of(","), boost::token_compress_on);
  for (const std::string& group : groups) {
    const auto centivolts = static_cast<std::uint16_t>(readNumber(groupValues[group], 16));
    systemVoltage = std::max(systemVoltage, systemVoltageForChargeVoltage(centivolts / 100.0));
  }
  vreg.setU8(static_cast<std::uint8_t>(systemVoltage));
}

namespace {

// Reads one Vreg that applies to this charger (or takes its preset value) and records it under its
// group; false when it failed, with its status saying how.
bool retrieveVreg(HexProtocol& hex, Vreg& vreg, std::map<std::string, std::string>& groupValues,
                  VregTable& table) {
  const char* label = vreg.label.c_str();
  if (vreg.get == REG_NONE && !vreg.value.empty()) {
    logInfo("settings", "retrieve: settings vreg \"%s\" using preset value \"0x%s\"", label,
            vreg.value.c_str());
    if (!vreg.group.empty()) groupValues[vreg.group] = vreg.value;
    return true;
  }
  // Neither a register nor a preset value; or a register beyond 16 bits, which only a hand-written
  // file can name: asking for its low 16 bits would read another setting under this label.
  if (vreg.get == REG_NONE || vreg.get > 0xFFFF) {
    logError("settings", "retrieve: settings vreg \"%s\" get not properly defined", label);
    vreg.status = VREG_CONFIG_ERROR;
    return false;
  }

  const auto id = static_cast<std::uint16_t>(vreg.get);
  HexMsg reply;
  int result = kExchangeFailed;
  for (int attempt = 0; attempt < kReadTries && result != kExchangeOk; ++attempt) {
    result = hex.getRegister(id, reply);
    // A charger that says it has no such register says so every time.
    if (result == kExchangeUnknownId) {
      logInfo("settings",
              "retrieve: settings vreg \"%s\" (0x%04X) unknown to the charger, skipping", label,
              static_cast<unsigned>(id));
      vreg.status = VREG_SKIPPED;
      vreg.absentFromCharger = true;
      return true;
    }
  }
  if (result != kExchangeOk) {
    logError("settings", "retrieve: settings get vreg \"%s\" (0x%04X) failed", label,
             static_cast<unsigned>(id));
    vreg.status = VREG_GET_FAILED;
    return false;
  }

  vreg.value = registerValueText(reply);
  vreg.absentFromCharger = false;
  if (!vreg.auto_bat.empty()) autoBatteryVoltage(vreg, groupValues);
  vreg.status = limitCheck(vreg);
  if (vreg.status == VREG_LIMIT_FAILED) {
    logError("settings", "retrieve: settings vreg \"%s\" limit check failed for value \"0x%s\"",
             label, vreg.value.c_str());
  } else {
    logInfo("settings", "retrieve: settings vreg \"%s\" succeeded: \"%s\"", label,
            vreg.value.c_str());
  }
  table.retrieved = true;
  // Recorded even when out of limits: the value is what the charger holds.
  if (!vreg.group.empty()) groupValues[vreg.group] = vreg.value;
  return vreg.status != VREG_LIMIT_FAILED;
}

}  // namespace

int retrieve(QmxSerial& link, VregTable& table) {
  std::lock_guard<std::recursive_mutex> lock(link.linkLock());
  HexProtocol hex(link);

  VersionWord versionWord(0);
  if (const int status = pingApplication(hex, "retrieve", "load", versionWord)) return status;
  std::uint16_t productId = 0;
  if (!hex.getDeviceId(productId)) {
    logError("settings", "retrieve: deviceID failed");
    return kExitNoAnswer;
  }
  const std::int32_t version = versionWord.version();
  logInfo("settings", "retrieve: loading settings");

  // Values recorded under their group in this pass, for the conditions of later Vregs.
  std::map<std::string, std::string> groupValues;
  bool passed = true;
  // Which settings apply is learnt on the way (their conditions name values read before them):
  // the count is the place in the list.
  const ProgressScope progress;
  const std::size_t total = table.vregs().size();
  std::size_t place = 0;
  for (Vreg& vreg : table.vregs()) {
    ++place;
    if (!applies(vreg, productId, version, groupValues)) continue;
    showProgress("Retrieving " + std::to_string(place) + " of " + std::to_string(total) +
                 " settings\u2026");
    if (!retrieveVreg(hex, vreg, groupValues, table)) passed = false;
  }
  return passed ? kExitOk : kExitReadFailed;
}

}  // namespace sunlink
