#include "sim/profiles.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

#include "protocol/registers.h"

namespace sunlink {
namespace sim {

RegisterBytes u8(std::uint8_t value) { return RegisterBytes{value}; }

RegisterBytes u16(std::uint16_t value) {
  return RegisterBytes{static_cast<std::uint8_t>(value & 0xFF),
                       static_cast<std::uint8_t>(value >> 8)};
}

RegisterBytes u32(std::uint32_t value) {
  return RegisterBytes{
      static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8 & 0xFF),
      static_cast<std::uint8_t>(value >> 16 & 0xFF), static_cast<std::uint8_t>(value >> 24)};
}

RegisterBytes textBytes(const std::string& text) { return RegisterBytes(text.begin(), text.end()); }

namespace {

// Settings registers of the charger (the register map), by name.
constexpr std::uint16_t kBatteryVoltage = 0xEDEF;         // 8-bit; the setting on firmware <= 1.08
constexpr std::uint16_t kBatteryVoltageSetting = 0xEDEA;  // 8-bit, firmware 1.12 and later
constexpr std::uint16_t kMaximumCurrent = 0xEDF0;         // 0.1 A
constexpr std::uint16_t kBulkTimeLimit = 0xEDFC;
constexpr std::uint16_t kAbsorptionTimeLimit = 0xEDFB;  // 0.01 h
constexpr std::uint16_t kAbsorptionVoltage = 0xEDF7;    // 0.01 V
constexpr std::uint16_t kFloatVoltage = 0xEDF6;
constexpr std::uint16_t kEqualisationVoltage = 0xEDF4;
constexpr std::uint16_t kTemperatureCompensation = 0xEDF2;  // 0.01 mV/K, signed
constexpr std::uint16_t kBatteryType = 0xEDF1;              // 8-bit
constexpr std::uint16_t kCellGuardMode = 0xEDFF;            // 8-bit
constexpr std::uint16_t kAutoEqualise = 0xEDFD;             // 8-bit
constexpr std::uint16_t kLoadControl = 0xEDAB;              // 8-bit
constexpr std::uint16_t kLoadOffset = 0xEDAC;
constexpr std::uint16_t kLoadSwitchHigh = 0xED9D;  // 0.01 V
constexpr std::uint16_t kLoadSwitchLow = 0xED9C;
constexpr std::uint16_t kAesTimer = 0xED90;              // minutes
constexpr std::uint16_t kRelayOutputLowSet = 0x0350;     // 0.01 V, up to 0x0353
constexpr std::uint16_t kFirstLightingEvent = 0xEDA0;    // 32-bit, up to 0xEDA5
constexpr std::uint16_t kMidpointShift = 0xEDA7;         // minutes, signed
constexpr std::uint16_t kDimSpeed = 0xED9B;              // 8-bit
constexpr std::uint16_t kPanelVoltageNight = 0xED9A;     // 0.01 V
constexpr std::uint16_t kPanelVoltageDay = 0xED99;       // 0.01 V
constexpr std::uint16_t kSunsetDelay = 0xED96;           // minutes
constexpr std::uint16_t kSunriseDelay = 0xED97;          // minutes
constexpr std::uint16_t kPortTxFunction = 0xED9E;        // 8-bit
constexpr std::uint16_t kPortRxFunction = 0xED98;        // 8-bit
constexpr std::uint16_t kRelayMode = 0xEDD9;             // 8-bit
constexpr std::uint16_t kRelayInputHighSet = 0xEDBA;     // panel 0.01 V
constexpr std::uint16_t kRelayInputHighClear = 0xEDB9;   // panel 0.01 V
constexpr std::uint16_t kRelayMinEnabled = 0x100A;       // minutes
constexpr std::uint16_t kMonitorStateOfCharge = 0x0FFF;  // 0.1 %

// Capability words as the charger reports them in register 0x0140.
constexpr std::uint32_t kLoad = 1u << 0;
constexpr std::uint32_t kHistory = 1u << 2;
constexpr std::uint32_t kAutoEq = 1u << 6;
constexpr std::uint32_t kSolarTimer = 1u << 9;
constexpr std::uint32_t kAltTx = 1u << 10;
constexpr std::uint32_t kUserLoadSwitch = 1u << 11;
constexpr std::uint32_t kLoadCurrent = 1u << 12;
constexpr std::uint32_t kAlarmRelay = 1u << 17;
constexpr std::uint32_t kAltRx = 1u << 18;
constexpr std::uint32_t kVirtualRelay = 1u << 20;
constexpr std::uint32_t kLoadAes = 1u << 25;

std::uint16_t firmwareOf(const Profile& p) { return p.versionWord & 0x0FFF; }

// The command registers every application firmware takes (factory reset, clear history, clock,
// charger on/off). The device mode starts "on".
void addCommandRegisters(Profile& p) {
  p.registers[REG_RESTORE_DEFAULTS] = u16(0);
  p.registers[REG_CLEAR_HISTORY] = u16(0);
  p.registers[REG_CLOCK] = u16(0);
  p.registers[REG_DEVICE_MODE_UNLOCK] = u16(0);
  p.registers[REG_DEVICE_MODE] = u16(DEVICE_MODE_ON);
}

// The battery voltage registers change meaning with the firmware: up to 1.08 register 0xEDEF is
// the setting (0: detect at power-up); from 1.09 it reports the system voltage in use, and from
// 1.12 the setting has its own read register 0xEDEA.
void addBatteryVoltageRegisters(Profile& p) {
  const std::uint16_t v = firmwareOf(p);
  if (v <= 0x108) {
    p.registers[kBatteryVoltage] = u8(0);
  } else if (v <= 0x111) {
    p.registers[kBatteryVoltage] = u8(12);
  } else {
    p.registers[kBatteryVoltage] = u8(12);
    p.registers[kBatteryVoltageSetting] = u8(12);
  }
}

// Charge settings of a 12 V lead-acid battery.
void addChargeRegisters(Profile& p, std::uint16_t maxCurrentDeciAmps, std::uint8_t batteryType) {
  addBatteryVoltageRegisters(p);
  p.registers[kMaximumCurrent] = u16(maxCurrentDeciAmps);
  p.registers[kBulkTimeLimit] = u16(1000);
  p.registers[kAbsorptionTimeLimit] = u16(600);                                    // 6 h
  p.registers[kAbsorptionVoltage] = u16(1440);                                     // 14.40 V
  p.registers[kFloatVoltage] = u16(1380);                                          // 13.80 V
  p.registers[kTemperatureCompensation] = u16(static_cast<std::uint16_t>(-1620));  // -16.20 mV/K
  p.registers[kBatteryType] = u8(batteryType);
}

void addCellGuard(Profile& p) { p.registers[kCellGuardMode] = u8(1); }

void addRotarySwitch(Profile& p, std::uint8_t position) {
  p.registers[REG_ROTARY_POSITION] = u8(position);
  p.readOnly.insert(REG_ROTARY_POSITION);
}

void addAutoEqualise(Profile& p) {
  p.registers[kEqualisationVoltage] = u16(1620);  // 16.20 V
  p.registers[kAutoEqualise] = u8(0);             // off
}

void addLoadOutput(Profile& p, std::uint8_t loadControl) {
  p.registers[kLoadControl] = u8(loadControl);
  p.registers[kLoadOffset] = u16(0);
}

void addUserLoadSwitch(Profile& p) {
  p.registers[kLoadSwitchHigh] = u16(1310);  // on again above 13.10 V
  p.registers[kLoadSwitchLow] = u16(1110);   // off below 11.10 V
}

void addLoadAes(Profile& p) { p.registers[kAesTimer] = u16(30); }

// The street-light timer: an evening programme dimming towards midnight and a morning event.
void addSolarTimer(Profile& p, int streetlightVersion) {
  const std::uint32_t events[6] = {
      0x64010000,  // at sunset, 100 %
      0x32010078,  // 02:00 after sunset, 50 %
      0x1E030000,  // at midnight, 30 %
      0x6402FFC4,  // 01:00 before sunrise, 100 %
      0x00020000,  // at sunrise, off
      0x00000000,  // unused slot
  };
  for (int i = 0; i < 6; ++i) p.registers[kFirstLightingEvent + i] = u32(events[i]);
  p.registers[kMidpointShift] = u16(0);
  if (streetlightVersion >= 2) {
    p.registers[kDimSpeed] = u8(5);
    p.registers[kPanelVoltageNight] = u16(500);  // 5.00 V
    p.registers[kPanelVoltageDay] = u16(1000);   // 10.00 V
  }
  if (streetlightVersion >= 3) {
    p.registers[kSunsetDelay] = u16(15);
    p.registers[kSunriseDelay] = u16(10);
  }
}

void addRelay(Profile& p) {
  p.registers[kRelayOutputLowSet] = u16(1150);      // 11.50 V
  p.registers[kRelayOutputLowSet + 1] = u16(1220);  // 12.20 V
  p.registers[kRelayOutputLowSet + 2] = u16(1650);  // 16.50 V
  p.registers[kRelayOutputLowSet + 3] = u16(1600);  // 16.00 V
  p.registers[kRelayMode] = u8(1);
  p.registers[kRelayInputHighSet] = u16(9000);    // 90.00 V
  p.registers[kRelayInputHighClear] = u16(8500);  // 85.00 V
  p.registers[kRelayMinEnabled] = u16(5);
}

void addModelName(Profile& p, const std::string& name) {
  p.registers[REG_MODEL_NAME] = textBytes(name);
  p.textRegisters.insert(REG_MODEL_NAME);
  p.readOnly.insert(REG_MODEL_NAME);
}

// What firmware 1.16 and later reports about itself.
void addCapabilityRegisters(Profile& p, std::uint32_t capabilities, std::uint8_t historyVersion,
                            std::uint8_t streetlightVersion) {
  p.registers[REG_CAPABILITIES] = u32(capabilities);
  p.readOnly.insert(REG_CAPABILITIES);
  if (capabilities & kHistory) {
    p.registers[REG_HISTORY_VERSION] = u8(historyVersion);
    p.readOnly.insert(REG_HISTORY_VERSION);
  }
  if (capabilities & kSolarTimer) {
    p.registers[REG_STREETLIGHT_VERSION] = u8(streetlightVersion);
    p.readOnly.insert(REG_STREETLIGHT_VERSION);
  }
}

void addRatingRegisters(Profile& p, std::uint16_t maxCurrentDeciAmps, std::uint8_t minVolts,
                        std::uint8_t maxVolts, std::uint16_t maxPvCentiVolts) {
  p.registers[REG_MAX_CURRENT] = u16(maxCurrentDeciAmps);
  p.registers[REG_BATTERY_VOLTAGE_RANGE] = RegisterBytes{minVolts, maxVolts};
  p.registers[REG_MAX_PV_VOLTAGE] = u16(maxPvCentiVolts);
  p.readOnly.insert({REG_MAX_CURRENT, REG_BATTERY_VOLTAGE_RANGE, REG_MAX_PV_VOLTAGE});
}

std::string hexText(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// TEXT labels of a charger: identity first, then a few measurements.
void addChargerText(Profile& p, bool loadOutput) {
  const std::uint16_t v = firmwareOf(p);
  p.textLabels = {
      {"PID", hexText("0x%X", p.productId)},
      {"FW", hexText("%X", v >> 8) + hexText("%02X", v & 0xFF)},
      {"SER#", "SL" + hexText("%04X", p.productId) + "00017"},
      {"V", "12760"},
      {"I", "1500"},
      {"VPV", "35200"},
      {"PPV", "21"},
      {"CS", "3"},
      {"ERR", "0"},
  };
  if (loadOutput) {
    p.textLabels.emplace_back("LOAD", "ON");
    p.textLabels.emplace_back("IL", "300");
  }
}

Profile load115() {
  Profile p;
  p.name = "load115";
  p.description = "load-output charger 0xA042, firmware 1.15, no capability register";
  p.versionWord = 0x4115;
  p.productId = 0xA042;
  addCommandRegisters(p);
  addChargeRegisters(p, 150, 1);
  addLoadOutput(p, 0x03);
  addUserLoadSwitch(p);
  addSolarTimer(p, 1);
  p.registers[kPortTxFunction] = u8(0);
  addModelName(p, "MPPT 75/15 Sim");
  addChargerText(p, true);
  return p;
}

Profile rotary113() {
  Profile p;
  p.name = "rotary113";
  p.description = "rotary-switch charger 0xA040, firmware 1.13";
  p.versionWord = 0x4113;
  p.productId = 0xA040;
  addCommandRegisters(p);
  addChargeRegisters(p, 300, 0xFF);  // user defined: the rotary switch position is not in use
  addRotarySwitch(p, 3);
  addModelName(p, "MPPT 100/30 Sim");
  addChargerText(p, false);
  return p;
}

Profile recent() {
  Profile p;
  p.name = "recent";
  p.description =
      "charger 0xA07A (no built-in name), firmware 1.17, capability and rating registers, "
      "alarm relay, port functions, street-light timer v3, load switch with AES";
  p.versionWord = 0x4117;
  p.productId = 0xA07A;
  const std::uint32_t capabilities = kLoad | kHistory | kAutoEq | kSolarTimer | kAltTx |
                                     kUserLoadSwitch | kLoadCurrent | kAlarmRelay | kAltRx |
                                     kVirtualRelay | kLoadAes;
  addCommandRegisters(p);
  addCapabilityRegisters(p, capabilities, 6, 3);
  addRatingRegisters(p, 500, 12, 24, 10000);
  addModelName(p, "MPPT 100/50 Sim");
  addChargeRegisters(p, 500, 1);
  addAutoEqualise(p);
  addUserLoadSwitch(p);
  addLoadAes(p);
  addRelay(p);
  addLoadOutput(p, 0x81);  // lighting controller on, mode 1
  addSolarTimer(p, 3);
  p.registers[kPortTxFunction] = u8(0);
  p.registers[kPortRxFunction] = u8(1);
  addChargerText(p, true);
  return p;
}

Profile bootloader() {
  Profile p;
  p.name = "bootloader";
  p.description = "charger 0xA042 running its boot loader (version word 0x0115)";
  p.versionWord = 0x0115;
  p.productId = 0xA042;
  return p;
}

Profile tester() {
  Profile p;
  p.name = "tester";
  p.description = "charger 0xA042 running tester firmware (version word 0x8116)";
  p.versionWord = 0x8116;
  p.productId = 0xA042;
  return p;
}

Profile monitor() {
  Profile p;
  p.name = "monitor";
  p.description = "battery monitor 0x0203, application firmware 3.08 (not an MPPT charger)";
  p.versionWord = 0x4308;
  p.productId = 0x0203;
  addCommandRegisters(p);
  p.registers[kMonitorStateOfCharge] = u16(874);  // 87.4 %
  p.textLabels = {{"PID", "0x203"}, {"FW", "308"}, {"SER#", "SL020300017"}, {"V", "12710"},
                  {"I", "-2300"},   {"P", "-29"},  {"SOC", "874"},          {"TTG", "2880"}};
  return p;
}

Profile silent() {
  Profile p;
  p.name = "silent";
  p.description = "a device that answers nothing and sends nothing";
  p.silent = true;
  return p;
}

Profile load107() {
  Profile p;
  p.name = "load107";
  p.description = "load-output charger 0xA042, firmware 1.07 (CellGuard, adaptive mode)";
  p.versionWord = 0x4107;
  p.productId = 0xA042;
  addCommandRegisters(p);
  addChargeRegisters(p, 150, 1);
  addCellGuard(p);
  addLoadOutput(p, 0x03);
  addChargerText(p, true);
  return p;
}

Profile rotary110() {
  Profile p;
  p.name = "rotary110";
  p.description = "rotary-switch charger 0xA040, firmware 1.10 (read-only battery voltage)";
  p.versionWord = 0x4110;
  p.productId = 0xA040;
  addCommandRegisters(p);
  addChargeRegisters(p, 300, 6);  // the factory table of rotary position 5
  addCellGuard(p);
  addRotarySwitch(p, 5);
  addChargerText(p, false);
  return p;
}

Profile rc116() {
  Profile p;
  p.name = "rc116";
  p.description = "load-output charger 0xA042, release candidate firmware C1.16";
  p.versionWord = 0xC116;
  p.productId = 0xA042;
  addCommandRegisters(p);
  addCapabilityRegisters(
      p, kLoad | kHistory | kAutoEq | kSolarTimer | kAltTx | kUserLoadSwitch | kLoadCurrent, 6, 2);
  addRatingRegisters(p, 150, 12, 24, 7500);
  addModelName(p, "MPPT 75/15 Sim");
  addChargeRegisters(p, 150, 1);
  addAutoEqualise(p);
  addLoadOutput(p, 0x03);
  addUserLoadSwitch(p);
  addSolarTimer(p, 2);
  p.registers[kPortTxFunction] = u8(0);
  addChargerText(p, true);
  return p;
}

// Product 0x0300 reports its capability word but none of the rating registers: the program takes
// its ratings from the built-in table and must not ask for them.
Profile product300() {
  Profile p;
  p.name = "product300";
  p.description = "load-output charger 0x0300, firmware 1.16, no rating registers";
  p.versionWord = 0x4116;
  p.productId = 0x0300;
  addCommandRegisters(p);
  addCapabilityRegisters(p, kLoad | kSolarTimer | kLoadCurrent, 0, 2);
  addModelName(p, "MPPT 75/10 Sim");
  addChargeRegisters(p, 100, 1);
  addLoadOutput(p, 0x03);
  addSolarTimer(p, 2);
  addChargerText(p, true);
  return p;
}

struct NamedProfile {
  const char* name;
  Profile (*make)();
};

const NamedProfile kProfiles[] = {
    {"load115", load115},       {"rotary113", rotary113}, {"recent", recent},
    {"bootloader", bootloader}, {"monitor", monitor},     {"silent", silent},
    {"load107", load107},       {"rotary110", rotary110}, {"rc116", rc116},
    {"product300", product300}, {"tester", tester},
};

}  // namespace

Profile profileByName(const std::string& name) {
  for (const NamedProfile& entry : kProfiles) {
    if (name == entry.name) return entry.make();
  }
  throw std::invalid_argument("unknown charger profile \"" + name + "\"");
}

std::vector<std::string> profileNames() {
  std::vector<std::string> names;
  for (const NamedProfile& entry : kProfiles) names.emplace_back(entry.name);
  return names;
}

}  // namespace sim
}  // namespace sunlink
