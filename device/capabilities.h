// What the connected charger is: product, firmware, capability flags, ratings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/version_word.h"

namespace sunlink {

class HexProtocol;

class QmxSerial;

// Capability flags: bit n of the charger's capability word (register 0x0140 on firmware 1.16+).
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT = 1u << 0;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER = 1u << 1;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT = 1u << 2;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE = 1u << 3;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_ADAPTIVE_MODE = 1u << 4;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_MANUAL_EQUALISE = 1u << 5;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE = 1u << 6;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_STORAGE_MODE = 1u << 7;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_REMOTE_ONOFF = 1u << 8;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER = 1u << 9;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION = 1u << 10;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH = 1u << 11;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT = 1u << 12;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_PANEL_CURRENT = 1u << 13;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_BMS_SUPPORT = 1u << 14;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_XCOUPLE_SUPPORT = 1u << 15;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_PARALLEL_SUPPORT = 1u << 16;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1 = 1u << 17;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION = 1u << 18;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT = 1u << 19;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY = 1u << 20;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_DISPLAY = 1u << 21;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_LOW_CURRENT_MODE = 1u << 22;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_NIGHT_MODE = 1u << 23;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_LUMETER_SUPPORT = 1u << 24;
constexpr std::uint32_t SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE = 1u << 25;
constexpr int CAPABILITY_FLAG_COUNT = 26;

// "SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT" ... for bits 0 to 25.
const char* capabilityFlagName(int bit);

struct ModelRating {
  std::uint16_t productId;
  bool hasLoadOutput;
  bool hasRotaryEncoder;
  bool hasHistory;
  std::uint8_t minBatteryVoltage;
  std::uint8_t maxBatteryVoltage;
  std::uint16_t maxCurrent;    // A
  std::uint16_t maxPvVoltage;  // V
};

// The built-in ratings table, 20 rows.
const std::vector<ModelRating>& builtInModelRatings();

struct Capabilities {
  std::vector<ModelRating> modelRatings;
  std::uint16_t productId = 0xFFFF;
  std::string productName;            // the model alone
  std::string name;                   // the model and its firmware text
  std::uint16_t firmwareVersion = 0;  // low 12 bits of the version word
  bool releaseCandidate = false;
  std::uint32_t flags = 0;  // bit n = capability flag n (masks above)
  std::uint8_t historyVersion = 0;
  std::uint8_t streetlightVersion = 0;
  std::uint8_t minBatteryVoltage = 0;
  std::uint8_t maxBatteryVoltage = 0;
  double maxCurrent = 0.0;
  double maxPvVoltage = 0.0;
  // Whether the charger is switched on (its device mode register), as identification found it and
  // the program's own switching left it; none when the charger did not tell.
  std::optional<bool> switchedOn;

  bool has(std::uint32_t mask) const { return (flags & mask) != 0; }
};

// Identifies the charger on link and fills caps. Returns 0 for a supported charger, else the exit
// status with its error line logged: 3 no ping reply / no response, 81 not application firmware,
// 22 no device id, 91 not an MPPT charger.
int identifyCharger(Capabilities& caps, QmxSerial& link);

// The product-name table: ascending by id, ending with 0xFFFE "reserved" and 0xFFFF "No product
// set".
struct ProductName {
  std::uint16_t productId;
  const char* name;
};
const std::vector<ProductName>& productNameTable();
// The name of the first table entry with this id; none when the id is not in the table.
std::optional<std::string> lookupProductName(std::uint16_t productId);
// The model's name: the program's table first, else the charger's model-name register (firmware
// 1.12 and later); empty when neither names it.
std::string productName(HexProtocol& hex, std::uint16_t productId, VersionWord versionWord);

}  // namespace sunlink
