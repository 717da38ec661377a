// Register ids and HEX codes shared by the program and the simulated charger.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sunlink {

// A register or product id as the settings file and the program's output write it: "0xEDF7".
inline std::string registerIdText(std::uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(id));
  return text;
}

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
// Flags byte of a get or set reply: why the charger did not carry the request out.
constexpr std::uint8_t FLAGS_UNKNOWN_ID = 0x01;       // no such register
constexpr std::uint8_t FLAGS_NOT_SUPPORTED = 0x02;    // not supported here (a read-only register)
constexpr std::uint8_t FLAGS_PARAMETER_ERROR = 0x04;  // the value was not accepted

// Registers used outside the settings list.
constexpr std::uint16_t REG_RESTORE_DEFAULTS = 0x0004;
constexpr std::uint16_t REG_CLEAR_HISTORY = 0x1030;
constexpr std::uint16_t REG_CLOCK = 0x2031;
constexpr std::uint16_t REG_DEVICE_MODE_UNLOCK = 0x0202;  // write 2 before changing 0x0200
constexpr std::uint16_t REG_DEVICE_MODE = 0x0200;         // 4 off, 3 on
constexpr std::uint16_t DEVICE_MODE_OFF = 4;
constexpr std::uint16_t DEVICE_MODE_ON = 3;
constexpr std::uint16_t REG_MODEL_NAME = 0x010B;             // text
constexpr std::uint16_t REG_CAPABILITIES = 0x0140;           // 32-bit
constexpr std::uint16_t REG_HISTORY_VERSION = 0xEDCD;        // 8-bit
constexpr std::uint16_t REG_STREETLIGHT_VERSION = 0xEDCC;    // 8-bit
constexpr std::uint16_t REG_MAX_CURRENT = 0xEDDF;            // 16-bit, 0.1 A
constexpr std::uint16_t REG_BATTERY_VOLTAGE_RANGE = 0xEDCE;  // two bytes: min V, max V
constexpr std::uint16_t REG_MAX_PV_VOLTAGE = 0xEDB8;         // 16-bit, 0.01 V
constexpr std::uint16_t REG_ROTARY_POSITION = 0xEE7F;        // 8-bit, 0..7

// Settings registers: the rows of the register map, and the few more the embedded definition
// document names. Widths and units as the charger holds them.
constexpr std::uint16_t REG_BATTERY_VOLTAGE = 0xEDEF;          // 8-bit V; meaning by firmware
constexpr std::uint16_t REG_BATTERY_VOLTAGE_SETTING = 0xEDEA;  // 8-bit V, firmware 1.12 and later
constexpr std::uint16_t REG_MAXIMUM_CURRENT = 0xEDF0;          // 0.1 A
constexpr std::uint16_t REG_BULK_TIME_LIMIT = 0xEDFC;
constexpr std::uint16_t REG_ABSORPTION_TIME_LIMIT = 0xEDFB;            // 0.01 h
constexpr std::uint16_t REG_ABSORPTION_VOLTAGE = 0xEDF7;               // 0.01 V
constexpr std::uint16_t REG_FLOAT_VOLTAGE = 0xEDF6;                    // 0.01 V
constexpr std::uint16_t REG_EQUALISATION_VOLTAGE = 0xEDF4;             // 0.01 V
constexpr std::uint16_t REG_TEMPERATURE_COMPENSATION = 0xEDF2;         // 0.01 mV/K, signed
constexpr std::uint16_t REG_BATTERY_TYPE = 0xEDF1;                     // 8-bit
constexpr std::uint16_t REG_CELLGUARD_MODE = 0xEDFF;                   // 8-bit
constexpr std::uint16_t REG_AUTO_EQUALISE = 0xEDFD;                    // 8-bit
constexpr std::uint16_t REG_LOAD_SWITCH_HIGH_LEVEL = 0xED9D;           // 0.01 V
constexpr std::uint16_t REG_LOAD_SWITCH_LOW_LEVEL = 0xED9C;            // 0.01 V
constexpr std::uint16_t REG_AES_TIMER = 0xED90;                        // minutes
constexpr std::uint16_t REG_RELAY_OUTPUT_LOW_VOLTAGE_SET = 0x0350;     // 0.01 V
constexpr std::uint16_t REG_RELAY_OUTPUT_LOW_VOLTAGE_CLEAR = 0x0351;   // 0.01 V
constexpr std::uint16_t REG_RELAY_OUTPUT_HIGH_VOLTAGE_SET = 0x0352;    // 0.01 V
constexpr std::uint16_t REG_RELAY_OUTPUT_HIGH_VOLTAGE_CLEAR = 0x0353;  // 0.01 V
constexpr std::uint16_t REG_LOAD_CONTROL = 0xEDAB;                     // 8-bit, see LoadControl
constexpr std::uint16_t REG_LOAD_OFFSET = 0xEDAC;      // in the embedded definitions only
constexpr std::uint16_t REG_LIGHTING_EVENT1 = 0xEDA0;  // 32-bit each, the six slots in a row
constexpr int LIGHTING_EVENT_COUNT = 6;
constexpr std::uint16_t REG_MIDPOINT_SHIFT = 0xEDA7;                  // minutes, signed
constexpr std::uint16_t REG_DIM_SPEED = 0xED9B;                       // 8-bit, seconds per 1 % step
constexpr std::uint16_t REG_PANEL_VOLTAGE_NIGHT = 0xED9A;             // 0.01 V
constexpr std::uint16_t REG_PANEL_VOLTAGE_DAY = 0xED99;               // 0.01 V
constexpr std::uint16_t REG_SUNSET_DELAY = 0xED96;                    // minutes
constexpr std::uint16_t REG_SUNRISE_DELAY = 0xED97;                   // minutes
constexpr std::uint16_t REG_PORT_TX_FUNCTION = 0xED9E;                // 8-bit
constexpr std::uint16_t REG_PORT_RX_FUNCTION = 0xED98;                // 8-bit
constexpr std::uint16_t REG_RELAY_MODE = 0xEDD9;                      // 8-bit
constexpr std::uint16_t REG_RELAY_INPUT_HIGH_VOLTAGE_SET = 0xEDBA;    // panel 0.01 V
constexpr std::uint16_t REG_RELAY_INPUT_HIGH_VOLTAGE_CLEAR = 0xEDB9;  // panel 0.01 V
constexpr std::uint16_t REG_RELAY_MIN_ENABLED = 0x100A;               // minutes
constexpr std::uint16_t REG_MONITOR_STATE_OF_CHARGE = 0x0FFF;         // battery monitors, 0.1 %

// Reported unasked by a running charger in a code-0xA frame: the battery voltage, 0.01 V.
constexpr std::uint16_t REG_BATTERY_VOLTAGE_REPORT = 0xEDD5;

// Reserved ids in the vreg table.
constexpr std::uint32_t REG_NONE = 0xFFFF;       // no register
constexpr std::uint32_t REG_NO_ACCESS = 0xFFFE;  // never accessed

// Product ids: an MPPT charger is 0x0300 or 0xA040..0xA07F.
inline bool isMpptProductId(std::uint32_t id) {
  return id == 0x0300 || (id >= 0xA040 && id <= 0xA07F);
}

}  // namespace sunlink
