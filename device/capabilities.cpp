#include "device/capabilities.h"

#include <algorithm>
#include <boost/algorithm/string/trim.hpp>
#include <cstdio>

#include "base/errors.h"
#include "base/log.h"
#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

const char* const kCategory = "capabilities";

const char* const kFlagNames[CAPABILITY_FLAG_COUNT] = {
    "SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT",      "SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER",
    "SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT",  "SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE",
    "SL_REG_CAPABILITIES1_HAS_ADAPTIVE_MODE",    "SL_REG_CAPABILITIES1_HAS_MANUAL_EQUALISE",
    "SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE",    "SL_REG_CAPABILITIES1_HAS_STORAGE_MODE",
    "SL_REG_CAPABILITIES1_HAS_REMOTE_ONOFF",     "SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER",
    "SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION",  "SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH",
    "SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT",     "SL_REG_CAPABILITIES1_HAS_PANEL_CURRENT",
    "SL_REG_CAPABILITIES1_HAS_BMS_SUPPORT",      "SL_REG_CAPABILITIES1_HAS_XCOUPLE_SUPPORT",
    "SL_REG_CAPABILITIES1_HAS_PARALLEL_SUPPORT", "SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1",
    "SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION",  "SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT",
    "SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY",    "SL_REG_CAPABILITIES1_HAS_DISPLAY",
    "SL_REG_CAPABILITIES1_HAS_LOW_CURRENT_MODE", "SL_REG_CAPABILITIES1_HAS_NIGHT_MODE",
    "SL_REG_CAPABILITIES1_HAS_LUMETER_SUPPORT",  "SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE",
};

// Only bits 0 to 25 of the capability word mean anything to the program.
constexpr std::uint32_t kKnownFlags = (1u << CAPABILITY_FLAG_COUNT) - 1;

// Reads a register of `width` bytes (1, 2 or 4), little-endian. A reply with fewer value bytes than
// the register is wide counts as a failed read: otherwise the frame's checksum byte would be taken
// for the value's top byte.
bool readRegister(HexProtocol& hex, std::uint16_t id, std::size_t width, std::uint32_t& value) {
  HexMsg reply;
  if (hex.getRegister(id, reply) != kExchangeOk) return false;
  if (reply.size() < reply.readPosition() + width + 1) return false;
  std::uint8_t bytes[4] = {};
  if (!reply.read(bytes, width)) return false;
  value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes[i];
  return true;
}

void setFlag(Capabilities& caps, std::uint32_t mask, bool on) {
  if (on)
    caps.flags |= mask;
  else
    caps.flags &= ~mask;
}

// Firmware before 1.16 cannot report its features: they follow from the model's row of the ratings
// table and from the firmware version.
void deriveFromModel(Capabilities& caps) {
  for (const ModelRating& row : caps.modelRatings) {
    if (row.productId != caps.productId) continue;
    setFlag(caps, SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT, row.hasLoadOutput);
    setFlag(caps, SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER, row.hasRotaryEncoder);
    setFlag(caps, SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT, row.hasHistory);
    caps.minBatteryVoltage = row.minBatteryVoltage;
    caps.maxBatteryVoltage = row.maxBatteryVoltage;
    caps.maxCurrent = row.maxCurrent;
    caps.maxPvVoltage = row.maxPvVoltage;
  }

  const std::uint16_t v = caps.firmwareVersion;
  const bool load = caps.has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT);
  const bool history = caps.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT);
  if (v < 0x108) caps.flags |= SL_REG_CAPABILITIES1_HAS_ADAPTIVE_MODE;
  if (v < 0x113) caps.flags |= SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE;
  if (!load && v >= 0x113) caps.flags |= SL_REG_CAPABILITIES1_HAS_REMOTE_ONOFF;
  if (history && v >= 0x108) caps.historyVersion = v >= 0x116 ? 6 : 4;
  if (load && history && v >= 0x115) {
    caps.flags |= SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER | SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
                  SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT;
    caps.streetlightVersion = v >= 0x116 ? 2 : 1;
  }
  if (!load) caps.flags |= SL_REG_CAPABILITIES1_HAS_PANEL_CURRENT;
  if (history && v >= 0x115) caps.flags |= SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION;
  if (history && v >= 0x116) caps.flags |= SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE;
}

// Firmware 1.16 and later reports its features and ratings itself; each report that arrives
// replaces what was derived, one that fails leaves it.
void readReportedCapabilities(Capabilities& caps, HexProtocol& hex) {
  std::uint32_t value = 0;
  if (readRegister(hex, REG_CAPABILITIES, 4, value)) caps.flags = value & kKnownFlags;
  if (caps.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT) &&
      readRegister(hex, REG_HISTORY_VERSION, 1, value))
    caps.historyVersion = static_cast<std::uint8_t>(value);
  if (caps.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) &&
      readRegister(hex, REG_STREETLIGHT_VERSION, 1, value))
    caps.streetlightVersion = static_cast<std::uint8_t>(value);
  // The oldest charger (0x0300) answers none of the rating registers; its ratings come from the
  // table alone.
  if (caps.productId == 0x0300) return;
  if (readRegister(hex, REG_MAX_CURRENT, 2, value)) caps.maxCurrent = value / 10.0;
  if (readRegister(hex, REG_BATTERY_VOLTAGE_RANGE, 2, value)) {
    caps.minBatteryVoltage = static_cast<std::uint8_t>(value & 0xFF);
    caps.maxBatteryVoltage = static_cast<std::uint8_t>(value >> 8);
  }
  if (readRegister(hex, REG_MAX_PV_VOLTAGE, 2, value)) caps.maxPvVoltage = value / 100.0;
}

// The device mode register, asked once: a charger that does not answer it must not cost every run
// the seconds of further attempts. One or two bytes; the low one is the mode. A refusal, a flagged
// reply or none leaves the state unknown.
std::optional<bool> readSwitchedOn(HexProtocol& hex) {
  HexMsg reply;
  if (hex.getRegister(REG_DEVICE_MODE, reply, 1) != kExchangeOk) return std::nullopt;
  // The frame's checksum byte is last.
  const std::size_t left = reply.size() - std::min(reply.size(), reply.readPosition());
  if (left != 2 && left != 3) return std::nullopt;
  return reply.read8() != DEVICE_MODE_OFF;
}

void logCapabilities(const Capabilities& caps) {
  logInfo(kCategory, "deviceId=0x%04X, app=0x%04X", caps.productId, caps.firmwareVersion);
  logInfo(kCategory, "min voltage=%dV, max voltage=%dV", caps.minBatteryVoltage,
          caps.maxBatteryVoltage);
  logInfo(kCategory, "max current=%dA", static_cast<int>(caps.maxCurrent));
  logInfo(kCategory, "max pv voltage=%dV", static_cast<int>(caps.maxPvVoltage));
  if (caps.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT))
    logInfo(kCategory, "history version=%d", caps.historyVersion);
  if (caps.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER))
    logInfo(kCategory, "streetlight version=%d", caps.streetlightVersion);
  for (int bit = 0; bit < CAPABILITY_FLAG_COUNT; ++bit) {
    if (caps.has(1u << bit)) logInfo(kCategory, "%s", capabilityFlagName(bit));
  }
}

int identify(Capabilities& caps, QmxSerial& link) {
  HexProtocol hex(link);

  std::uint16_t answer = 0;
  if (!hex.ping(answer)) {
    logError(kCategory, "no ping reply");
    return kExitNoAnswer;
  }
  const VersionWord word(answer);
  // Boot loaders and tester firmware know nothing about the charger's settings.
  if (!word.isApplication()) {
    logError(kCategory, "application required to determine capabilities...");
    return kExitNotApplication;
  }
  caps.releaseCandidate = word.releaseCandidate();

  if (!hex.getDeviceId(caps.productId)) {
    logError(kCategory, "no device id reply");
    return kExitRefused;
  }
  if (!isMpptProductId(caps.productId)) {
    logError(kCategory, "only mppt chargers are supported");
    return kExitNotCharger;
  }

  caps.productName = productName(hex, caps.productId, word);
  caps.name = caps.productName + " " + word.text();

  caps.firmwareVersion = word.version();
  deriveFromModel(caps);
  if (caps.firmwareVersion >= 0x116) readReportedCapabilities(caps, hex);
  caps.switchedOn = readSwitchedOn(hex);  // last: a charger silent on it has told everything else

  logCapabilities(caps);
  if (caps.minBatteryVoltage == 0) logError(kCategory, "mppt charger model unknown...");
  return kExitOk;
}

}  // namespace

const char* capabilityFlagName(int bit) {
  if (bit < 0 || bit >= CAPABILITY_FLAG_COUNT) return "";
  return kFlagNames[bit];
}

std::string productName(HexProtocol& hex, std::uint16_t productId, VersionWord versionWord) {
  if (std::optional<std::string> known = lookupProductName(productId)) return *known;
  std::string name;
  HexMsg reply;
  if (versionWord.version() >= 0x112 && hex.getRegister(REG_MODEL_NAME, reply) == kExchangeOk) {
    name = reply.valueString();
    boost::algorithm::trim_right(name);
    logInfo(kCategory, "model name \"%s\"", name.c_str());
  }
  return name;
}

int identifyCharger(Capabilities& caps, QmxSerial& link) {
  // A fresh record: nothing a previous identification found may survive a refusal.
  caps = Capabilities();
  caps.modelRatings = builtInModelRatings();
  try {
    // One conversation: no other exchange may come between the ping and the last rating read.
    std::lock_guard<std::recursive_mutex> lock(link.linkLock());
    return identify(caps, link);
  } catch (const no_response&) {
    logError(kCategory, "no response received (check power / correct serial port)");
    return kExitNoAnswer;
  }
}

}  // namespace sunlink
