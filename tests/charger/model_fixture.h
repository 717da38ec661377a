// A ChargerSettings without a link, built from capabilities chosen by the test, with its setters
// and streams for what the code under test writes. Shared by the charger and console tests.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

#include "charger/charger_settings.h"
#include "charger/setters.h"
#include "device/capabilities.h"

namespace sunlink {
namespace test {

inline Capabilities makeCapabilities(std::uint32_t flags, std::uint16_t firmware = 0x116,
                                     std::uint8_t streetlightVersion = 0) {
  Capabilities caps;
  caps.productId = 0xA042;
  caps.name = "MPPT 75/15 application v1.16";
  caps.firmwareVersion = firmware;
  caps.flags = flags;
  caps.streetlightVersion = streetlightVersion;
  caps.minBatteryVoltage = 12;
  caps.maxBatteryVoltage = 24;
  caps.maxCurrent = 15.0;
  caps.maxPvVoltage = 75.0;
  return caps;
}

// The model with the values a retrieve of a 12 V charger on its factory table would leave (every
// value ok), and streams for a printout or a report.
struct TestModel {
  explicit TestModel(const Capabilities& caps) : model(caps, nullptr), setters(model) {
    const std::map<std::string, std::string> values = {
        {"battery_voltage", "0C"},
        {"maximum_current", "0096"},  // 15.0 A
        {"bulk_time_limit", "0258"},
        {"absorption_time_limit", "0258"},     // 6 h
        {"absorption_voltage", "05A0"},        // 14.40 V
        {"float_voltage", "0564"},             // 13.80 V
        {"equalisation_voltage", "0654"},      // 16.20 V
        {"temperature_compensation", "F9AC"},  // -16.20 mV/K
        {"load_switch_high_level", "0514"},    // 13.00 V
        {"load_switch_low_level", "046A"},     // 11.30 V
        {"automatic_energy_selector_timer", "0000"},
        {"relay_output_low_voltage_set", "0488"},     // 11.60 V
        {"relay_output_low_voltage_clear", "04B0"},   // 12.00 V
        {"relay_output_high_voltage_set", "05F0"},    // 15.20 V
        {"relay_output_high_voltage_clear", "05DC"},  // 15.00 V
        {"battery_voltage_setting", "0C"},
        {"cellguard_mode", "00"},
        {"auto_equalise", "00"},
        {"battery_type", "01"},
        {"load_control", "01"},
        {"lighting_event1", "00000000"},
        {"lighting_event2", "00000000"},
        {"lighting_event3", "00000000"},
        {"lighting_event4", "00000000"},
        {"lighting_event5", "00000000"},
        {"lighting_event6", "00000000"},
        {"midpoint_shift", "0000"},
        {"dim_speed", "00"},
        {"panel_voltage_night", "0000"},
        {"panel_voltage_day", "0000"},
        {"sunset_delay", "0000"},
        {"sunrise_delay", "0000"},
        {"port_tx_function", "00"},
        {"port_rx_function", "00"},
        {"relay_mode", "00"},
        {"relay_input_high_voltage_set", "1388"},    // 50.00 V
        {"relay_input_high_voltage_clear", "1194"},  // 45.00 V
        {"relay_min_enabled", "0000"},
    };
    for (Vreg& vreg : model.settings.vregs()) {
      const auto value = values.find(vreg.label);
      if (value != values.end()) vreg.value = value->second;
      vreg.status = VREG_OK;
    }
  }

  std::string& value(const std::string& label) { return model.find(label).value; }
  // Calls a setter and keeps the reason of a refusal in refusals, one line each: 0 when the value
  // was taken, 1 when not.
  int set(SetResult (SettingSetters::*setter)(const std::string&), const std::string& text) {
    const SetResult result = (setters.*setter)(text);
    if (!result.why().empty()) refusals += result.why() + "\n";
    return result.isAccepted() ? 0 : 1;
  }

  std::ostringstream out;
  std::ostringstream err;
  ChargerSettings model;
  SettingSetters setters;
  std::string refusals;
};

}  // namespace test
}  // namespace sunlink
