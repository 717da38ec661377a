// Register ids and HEX codes shared by the program and the simulated charger.
#pragma once

#include <cstdint>

namespace sunlink {

// HEX command codes (first byte of a request).
constexpr std::uint8_t CMD_PING = 0x1;
constexpr std::uint8_t CMD_GET_DEVICE_ID = 0x4;
constexpr std::uint8_t CMD_GET_REGISTER = 0x7;
constexpr std::uint8_t CMD_SET_REGISTER = 0x8;

// HEX reply codes (first byte of a received message).
constexpr std::uint8_t RSP_DEVICE_ID = 0x1;
constexpr std::uint8_t RSP_ERROR = 0x2;  // with the word 0xAAAA: the request arrived damaged
constexpr std::uint8_t RSP_FAILED = 0x3;
constexpr std::uint8_t RSP_UNKNOWN = 0x4;
constexpr std::uint8_t RSP_PING = 0x5;
constexpr std::uint8_t RSP_GET = 0x7;
constexpr std::uint8_t RSP_SET = 0x8;
constexpr std::uint16_t RECEPTION_ERROR_WORD = 0xAAAA;

// Registers used outside the settings list.
constexpr std::uint16_t REG_RESTORE_DEFAULTS = 0x0004;
constexpr std::uint16_t REG_CLEAR_HISTORY = 0x1030;
constexpr std::uint16_t REG_CLOCK = 0x2031;
constexpr std::uint16_t REG_DEVICE_MODE_UNLOCK = 0x0202;  // write 2 before changing 0x0200
constexpr std::uint16_t REG_DEVICE_MODE = 0x0200;         // 4 off, 3 on
constexpr std::uint16_t DEVICE_MODE_OFF = 4;
constexpr std::uint16_t DEVICE_MODE_ON = 3;
constexpr std::uint16_t REG_MODEL_NAME = 0x010B;       // text
constexpr std::uint16_t REG_CAPABILITIES = 0x0140;     // 32-bit
constexpr std::uint16_t REG_HISTORY_VERSION = 0xEDCD;  // 8-bit
constexpr std::uint16_t REG_STREETLIGHT_VERSION = 0xEDCC;  // 8-bit
constexpr std::uint16_t REG_MAX_CURRENT = 0xEDDF;          // 16-bit, 0.1 A
constexpr std::uint16_t REG_BATTERY_VOLTAGE_RANGE = 0xEDCE;  // two bytes: min V, max V
constexpr std::uint16_t REG_MAX_PV_VOLTAGE = 0xEDB8;         // 16-bit, 0.01 V
constexpr std::uint16_t REG_ROTARY_POSITION = 0xEE7F;        // 8-bit, 0..7

// Reserved ids in the vreg table.
constexpr std::uint32_t REG_NONE = 0xFFFF;       // no register
constexpr std::uint32_t REG_NO_ACCESS = 0xFFFE;  // never accessed

// Product ids: an MPPT charger is 0x0300 or 0xA040..0xA07F.
inline bool isMpptProductId(std::uint32_t id) {
  return id == 0x0300 || (id >= 0xA040 && id <= 0xA07F);
}

// Firmware type by the two top bits of the ping's version word: 01 application, 11 release
// candidate. Only those know the charger's settings and take writes; boot loaders and tester
// firmware do not.
inline bool isApplicationFirmware(std::uint16_t versionWord) {
  const unsigned type = versionWord >> 14;
  return type == 1 || type == 3;
}

}  // namespace sunlink
