// The register map: which settings this charger has, which register holds each and in which
// scale. The order is also the order in which restore writes them.

#include "charger/charger_settings.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

Vreg preset(const std::string& label, std::uint32_t get, std::uint32_t set,
            const std::string& value) {
  Vreg vreg(label, get, set, 1);
  vreg.value = value;
  return vreg;
}

}  // namespace

void ChargerSettings::pushRegisterMap() {
  const unsigned firmware = capabilities.firmwareVersion;
  const bool loadSwitch =
      has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH) || has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
  const bool relay = hasRelay();
  const bool solarTimer = has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
  const bool autoEqualise = has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE);

  // Register 0xEDEF holds the system voltage; which register reports it, and whether it can be
  // written, changed with the firmware. Up to 1.08 the charger reports nothing but the configured
  // value; from 1.09 to 1.11 the configured value cannot be read back at all; from 1.12 on both
  // can be read.
  if (firmware <= 0x108) {
    settings.push(preset("battery_voltage", REG_NONE, REG_NONE, "00"));
  } else if (firmware <= 0x111) {
    settings.push(Vreg("battery_voltage", 0xEDEF, REG_NO_ACCESS, 1));
  } else {
    settings.push(Vreg("battery_voltage", 0xEDEF, 0xEDEF, 1));
  }
  settings.push(Vreg("maximum_current", 0xEDF0, 0xEDF0, 10));
  settings.push(Vreg("bulk_time_limit", 0xEDFC, REG_NONE, 1));
  settings.push(Vreg("absorption_time_limit", 0xEDFB, 0xEDFB, 100));
  settings.push(Vreg("absorption_voltage", 0xEDF7, 0xEDF7, 100));
  settings.push(Vreg("float_voltage", 0xEDF6, 0xEDF6, 100));
  if (autoEqualise) settings.push(Vreg("equalisation_voltage", 0xEDF4, 0xEDF4, 100));
  settings.push(Vreg("temperature_compensation", 0xEDF2, 0xEDF2, 100));
  if (loadSwitch) {
    settings.push(Vreg("load_switch_high_level", 0xED9D, 0xED9D, 100));
    settings.push(Vreg("load_switch_low_level", 0xED9C, 0xED9C, 100));
    if (has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE)) {
      settings.push(Vreg("automatic_energy_selector_timer", 0xED90, REG_NONE, 1));
    }
  }
  if (relay) {
    settings.push(Vreg("relay_output_low_voltage_set", 0x0350, 0x0350, 100));
    settings.push(Vreg("relay_output_low_voltage_clear", 0x0351, 0x0351, 100));
    settings.push(Vreg("relay_output_high_voltage_set", 0x0352, 0x0352, 100));
    settings.push(Vreg("relay_output_high_voltage_clear", 0x0353, 0x0353, 100));
  }
  // After every voltage: voltages written after a changed (or auto) system voltage setting can be
  // judged against the wrong system by the charger, so restore must write them first.
  if (firmware <= 0x108) {
    settings.push(Vreg("battery_voltage_setting", 0xEDEF, 0xEDEF, 1));
  } else if (firmware <= 0x111) {
    settings.push(preset("battery_voltage_setting", REG_NONE, 0xEDEF, "00"));
  } else {
    settings.push(Vreg("battery_voltage_setting", 0xEDEA, 0xEDEF, 1));
  }
  if (has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) {
    settings.push(Vreg("cellguard_mode", 0xEDFF, REG_NONE, 1));
  }
  if (autoEqualise) settings.push(Vreg("auto_equalise", 0xEDFD, REG_NONE, 1));
  settings.push(Vreg("battery_type", 0xEDF1, REG_NONE, 1));
  if (hasLoadOutput()) settings.push(Vreg("load_control", 0xEDAB, REG_NONE, 1));
  if (solarTimer) {
    for (int n = 0; n < 6; ++n) {
      settings.push(Vreg("lighting_event" + std::to_string(n + 1), 0xEDA0 + n, REG_NONE, 1));
    }
    settings.push(Vreg("midpoint_shift", 0xEDA7, REG_NONE, 1));
    if (capabilities.streetlightVersion >= 2) {
      settings.push(Vreg("dim_speed", 0xED9B, REG_NONE, 1));
      settings.push(Vreg("panel_voltage_night", 0xED9A, 0xED9A, 100));
      settings.push(Vreg("panel_voltage_day", 0xED99, 0xED99, 100));
    }
    if (capabilities.streetlightVersion >= 3) {
      settings.push(Vreg("sunset_delay", 0xED96, REG_NONE, 1));
      settings.push(Vreg("sunrise_delay", 0xED97, REG_NONE, 1));
    }
  }
  if (has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION)) {
    settings.push(Vreg("port_tx_function", 0xED9E, REG_NONE, 1));
  }
  if (has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) {
    settings.push(Vreg("port_rx_function", 0xED98, REG_NONE, 1));
  }
  if (relay) {
    settings.push(Vreg("relay_mode", 0xEDD9, REG_NONE, 1));
    settings.push(Vreg("relay_input_high_voltage_set", 0xEDBA, 0xEDBA, 100));
    settings.push(Vreg("relay_input_high_voltage_clear", 0xEDB9, 0xEDB9, 100));
    settings.push(Vreg("relay_min_enabled", 0x100A, REG_NONE, 1));
  }
}

}  // namespace sunlink
