// A charger settings model and a console session over string streams, so a test can type the
// answers of a menu session and read back what the screens showed.
#pragma once

#include <cstdint>
#include <set>
#include <sstream>
#include <string>

#include "charger/charger_settings.h"
#include "console/console_session.h"
#include "device/capabilities.h"
#include "tests/charger/model_fixture.h"

namespace sunlink {

// The capabilities the menu tests switch on, one flag each.
constexpr std::uint32_t kRotary = SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER;
constexpr std::uint32_t kCellGuard = SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE;
constexpr std::uint32_t kAutoEq = SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE;
constexpr std::uint32_t kLoad = SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT;
constexpr std::uint32_t kVirtualLoad = SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT;
constexpr std::uint32_t kUserSwitch = SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH;
constexpr std::uint32_t kAes = SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE;
constexpr std::uint32_t kSolarTimer = SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER;
constexpr std::uint32_t kRelay = SL_REG_CAPABILITIES1_HAS_ALARM_RELAY1;
constexpr std::uint32_t kVirtualRelay = SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY;
constexpr std::uint32_t kHistory = SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT;
constexpr std::uint32_t kTx = SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION;
constexpr std::uint32_t kRx = SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION;

// The charger of the menu tests: the shared test charger under its own name, with a choice of the
// highest system voltage.
inline Capabilities menuTestCapabilities(std::uint32_t flags, std::uint8_t streetlightVersion = 0,
                                         std::uint8_t maxBatteryVoltage = 24) {
  Capabilities caps = test::makeCapabilities(flags, 0x116, streetlightVersion);
  caps.name = "Test charger 1.16";
  caps.maxBatteryVoltage = maxBatteryVoltage;
  return caps;
}

// A retrieved 12 V charger on its factory table, every value in the width the charger reports it.
class MenuHarness {
 public:
  explicit MenuHarness(const Capabilities& caps)
      : model(caps, nullptr), session(model, ConsoleIo{&in, &out, &err}) {
    static const std::set<std::string> bytes = {"battery_voltage",  "battery_voltage_setting",
                                                "cellguard_mode",   "auto_equalise",
                                                "battery_type",     "load_control",
                                                "dim_speed",        "port_tx_function",
                                                "port_rx_function", "relay_mode"};
    for (Vreg& vreg : model.settings.vregs()) {
      if (bytes.count(vreg.label)) {
        vreg.setU8(0);
      } else if (vreg.label.rfind("lighting_event", 0) == 0) {
        vreg.setU32(0);
      } else {
        vreg.setU16(0);
      }
    }
    model.find("battery_voltage").setU8(12);
    model.find("battery_type").setU8(1);
    model.find("maximum_current").setNumber(15);
    model.find("absorption_time_limit").setNumber(6);
    model.find("absorption_voltage").setNumber(14.4);
    model.find("float_voltage").setNumber(13.8);
    model.find("temperature_compensation").setNumber(-16.2);
    if (Vreg* eq = model.settings.lookup("equalisation_voltage")) eq->setNumber(16.2);
  }

  // Sets what the user will type.
  void type(const std::string& answers) {
    in.str(answers);
    in.clear();
  }
  double number(const char* label) { return model.find(label).getNumber(); }
  unsigned u8(const char* label) { return model.find(label).getU8(); }
  unsigned u16(const char* label) { return model.find(label).getU16(); }
  std::uint32_t u32(const char* label) { return model.find(label).getU32(); }

  ChargerSettings model;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  ConsoleSession session;
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace sunlink
