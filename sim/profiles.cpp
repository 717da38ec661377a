#include "sim/profiles.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

#include "device/capabilities.h"
#include "protocol/registers.h"
#include "protocol/version_word.h"

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

std::uint16_t firmwareOf(const Profile& p) { return VersionWord(p.versionWord).version(); }

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
    p.registers[REG_BATTERY_VOLTAGE] = u8(0);
  } else if (v <= 0x111) {
    p.registers[REG_BATTERY_VOLTAGE] = u8(12);
  } else {
    p.registers[REG_BATTERY_VOLTAGE] = u8(12);
    p.registers[REG_BATTERY_VOLTAGE_SETTING] = u8(12);
  }
}

// Charge settings of a 12 V lead-acid battery.
void addChargeRegisters(Profile& p, std::uint16_t maxCurrentDeciAmps, std::uint8_t batteryType) {
  addBatteryVoltageRegisters(p);
  p.registers[REG_MAXIMUM_CURRENT] = u16(maxCurrentDeciAmps);
  p.registers[REG_BULK_TIME_LIMIT] = u16(1000);
  p.registers[REG_ABSORPTION_TIME_LIMIT] = u16(600);  // 6 h
  p.registers[REG_ABSORPTION_VOLTAGE] = u16(1440);    // 14.40 V
  p.registers[REG_FLOAT_VOLTAGE] = u16(1380);         // 13.80 V
  p.registers[REG_TEMPERATURE_COMPENSATION] =
      u16(static_cast<std::uint16_t>(-1620));  // -16.20 mV/K
  p.registers[REG_BATTERY_TYPE] = u8(batteryType);
}

void addCellGuard(Profile& p) { p.registers[REG_CELLGUARD_MODE] = u8(1); }

void addRotarySwitch(Profile& p, std::uint8_t position) {
  p.registers[REG_ROTARY_POSITION] = u8(position);
  p.readOnly.insert(REG_ROTARY_POSITION);
}

void addAutoEqualise(Profile& p) {
  p.registers[REG_EQUALISATION_VOLTAGE] = u16(1620);  // 16.20 V
  p.registers[REG_AUTO_EQUALISE] = u8(0);             // off
}

void addLoadOutput(Profile& p, std::uint8_t loadControl) {
  p.registers[REG_LOAD_CONTROL] = u8(loadControl);
  p.registers[REG_LOAD_OFFSET] = u16(0);
}

void addUserLoadSwitch(Profile& p) {
  p.registers[REG_LOAD_SWITCH_HIGH_LEVEL] = u16(1310);  // on again above 13.10 V
  p.registers[REG_LOAD_SWITCH_LOW_LEVEL] = u16(1110);   // off below 11.10 V
}

void addLoadAes(Profile& p) { p.registers[REG_AES_TIMER] = u16(30); }

// The street-light timer: an evening programme dimming towards midnight and a morning event.
void addSolarTimer(Profile& p, int streetlightVersion) {
  const std::uint32_t events[LIGHTING_EVENT_COUNT] = {
      0x64010000,  // at sunset, 100 %
      0x32010078,  // 02:00 after sunset, 50 %
      0x1E030000,  // at midnight, 30 %
      0x6402FFC4,  // 01:00 before sunrise, 100 %
      0x00020000,  // at sunrise, off
      0x00000000,  // unused slot
  };
  for (int i = 0; i < LIGHTING_EVENT_COUNT; ++i)
    p.registers[REG_LIGHTING_EVENT1 + i] = u32(events[i]);
  p.registers[REG_MIDPOINT_SHIFT] = u16(0);
  if (streetlightVersion >= 2) {
    p.registers[REG_DIM_SPEED] = u8(5);
    p.registers[REG_PANEL_VOLTAGE_NIGHT] = u16(500);  // 5.00 V
    p.registers[REG_PANEL_VOLTAGE_DAY] = u16(1000);   // 10.00 V
  }
  if (streetlightVersion >= 3) {
    p.registers[REG_SUNSET_DELAY] = u16(15);
    p.registers[REG_SUNRISE_DELAY] = u16(10);
  }
}

void addRelay(Profile& p) {
  p.registers[REG_RELAY_OUTPUT_LOW_VOLTAGE_SET] = u16(1150);     // 11.50 V
  p.registers[REG_RELAY_OUTPUT_LOW_VOLTAGE_CLEAR] = u16(1220);   // 12.20 V
  p.registers[REG_RELAY_OUTPUT_HIGH_VOLTAGE_SET] = u16(1650);    // 16.50 V
  p.registers[REG_RELAY_OUTPUT_HIGH_VOLTAGE_CLEAR] = u16(1600);  // 16.00 V
  p.registers[REG_RELAY_MODE] = u8(1);
  p.registers[REG_RELAY_INPUT_HIGH_VOLTAGE_SET] = u16(9000);    // 90.00 V
  p.registers[REG_RELAY_INPUT_HIGH_VOLTAGE_CLEAR] = u16(8500);  // 85.00 V
  p.registers[REG_RELAY_MIN_ENABLED] = u16(5);
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
  if (capabilities & SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT) {
    p.registers[REG_HISTORY_VERSION] = u8(historyVersion);
    p.readOnly.insert(REG_HISTORY_VERSION);
  }
  if (capabilities & SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) {
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
  p.registers[REG_PORT_TX_FUNCTION] = u8(0);
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
  const std::uint32_t capabilities =
      SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT |
      SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER |
      SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION | SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
      SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT | SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1 |
      SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION | SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY |
      SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE;
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
  p.registers[REG_PORT_TX_FUNCTION] = u8(0);
  p.registers[REG_PORT_RX_FUNCTION] = u8(1);
  addChargerText(p, true);
  return p;
}

// Current firmware as real chargers run it: no bulk time limit and no relay minimum time (it
// answers "unknown id" for them, and for any register it lacks), a preset battery table other than
// the factory default with its own charge voltages, and the line habits of Profile.
Profile current161() {
  Profile p = recent();
  p.name = "current161";
  p.description =
      "charger 0xA07C (no built-in name), firmware 1.61, preset battery type 3 with its own "
      "voltages, lacks some settings, TEXT blocks and unasked frames around its replies";
  p.versionWord = 0x4161;
  p.productId = 0xA07C;
  p.registers.erase(REG_BULK_TIME_LIMIT);
  p.registers.erase(REG_RELAY_MIN_ENABLED);
  p.registers[REG_BATTERY_TYPE] = u8(3);
  p.registers[REG_ABSORPTION_VOLTAGE] = u16(1420);    // 14.20 V, not the factory 14.40 V
  p.registers[REG_FLOAT_VOLTAGE] = u16(1350);         // 13.50 V, not 13.80 V
  p.registers[REG_EQUALISATION_VOLTAGE] = u16(1600);  // 16.00 V, not 16.20 V
  addChargerText(p, true);
  p.textBeforeReplies = true;
  p.cutTextBeforeFirstPing = true;
  p.asyncFramesBeforeReply = 3;
  p.strayBeforeReply = "\r\n\x01";
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
  p.registers[REG_MONITOR_STATE_OF_CHARGE] = u16(874);  // 87.4 %
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
      p,
      SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT | SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT |
          SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE | SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER |
          SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION | SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH |
          SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT,
      6, 2);
  addRatingRegisters(p, 150, 12, 24, 7500);
  addModelName(p, "MPPT 75/15 Sim");
  addChargeRegisters(p, 150, 1);
  addAutoEqualise(p);
  addLoadOutput(p, 0x03);
  addUserLoadSwitch(p);
  addSolarTimer(p, 2);
  p.registers[REG_PORT_TX_FUNCTION] = u8(0);
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
  addCapabilityRegisters(p,
                         SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT |
                             SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER |
                             SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT,
                         0, 2);
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
    {"product300", product300}, {"tester", tester},       {"current161", current161},
};

}  // namespace

Profile profileByName(const std::string& name) {
  for (const NamedProfile& entry : kProfiles) {
    if (name == entry.name) return entry.make();
  }
  throw std::invalid_argument("unknown charger profile \"" + name + "\"");
}

void setTextLabel(Profile& profile, const std::string& label, const std::string& value) {
  profile.fixedTextLabels.insert(label);
  for (auto& entry : profile.textLabels) {
    if (entry.first == label) {
      entry.second = value;
      return;
    }
  }
  profile.textLabels.emplace_back(label, value);
}

std::vector<std::string> profileNames() {
  std::vector<std::string> names;
  for (const NamedProfile& entry : kProfiles) names.emplace_back(entry.name);
  return names;
}

}  // namespace sim
}  // namespace sunlink
