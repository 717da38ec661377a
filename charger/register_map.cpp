// The register map: which settings this charger has, which register holds each and in which
// scale. The order is also the order in which restore writes them.

#include "charger/charger_settings.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// What a row needs of the charger to be in its register map.
enum class Needs {
  nothing,
  autoEqualise,
  switchLevels,  // user defined load switch levels, or the automatic energy selector
  energySelector,
  relay,
  cellGuard,
  loadOutput,
  solarTimer,
  streetlight2,  // the solar timer, street-light version 2 or later
  streetlight3,
  txFunction,
  rxFunction,
};

struct Row {
  const char* label;
  std::uint32_t get;
  std::uint32_t set;  // REG_NONE: restore writes the get register
  double scale;
  Needs needs;
};

// The rows before the system voltage setting: every voltage that follows the system voltage.
const Row kVoltageRows[] = {
    {"maximum_current", REG_MAXIMUM_CURRENT, REG_MAXIMUM_CURRENT, 10, Needs::nothing},
    {"bulk_time_limit", REG_BULK_TIME_LIMIT, REG_NONE, 1, Needs::nothing},
    {"absorption_time_limit", REG_ABSORPTION_TIME_LIMIT, REG_ABSORPTION_TIME_LIMIT, 100,
     Needs::nothing},
    {"absorption_voltage", REG_ABSORPTION_VOLTAGE, REG_ABSORPTION_VOLTAGE, 100, Needs::nothing},
    {"float_voltage", REG_FLOAT_VOLTAGE, REG_FLOAT_VOLTAGE, 100, Needs::nothing},
    {"equalisation_voltage", REG_EQUALISATION_VOLTAGE, REG_EQUALISATION_VOLTAGE, 100,
     Needs::autoEqualise},
    {"temperature_compensation", REG_TEMPERATURE_COMPENSATION, REG_TEMPERATURE_COMPENSATION, 100,
     Needs::nothing},
    {"load_switch_high_level", REG_LOAD_SWITCH_HIGH_LEVEL, REG_LOAD_SWITCH_HIGH_LEVEL, 100,
     Needs::switchLevels},
    {"load_switch_low_level", REG_LOAD_SWITCH_LOW_LEVEL, REG_LOAD_SWITCH_LOW_LEVEL, 100,
     Needs::switchLevels},
    {"automatic_energy_selector_timer", REG_AES_TIMER, REG_NONE, 1, Needs::energySelector},
    {"relay_output_low_voltage_set", REG_RELAY_OUTPUT_LOW_VOLTAGE_SET,
     REG_RELAY_OUTPUT_LOW_VOLTAGE_SET, 100, Needs::relay},
    {"relay_output_low_voltage_clear", REG_RELAY_OUTPUT_LOW_VOLTAGE_CLEAR,
     REG_RELAY_OUTPUT_LOW_VOLTAGE_CLEAR, 100, Needs::relay},
    {"relay_output_high_voltage_set", REG_RELAY_OUTPUT_HIGH_VOLTAGE_SET,
     REG_RELAY_OUTPUT_HIGH_VOLTAGE_SET, 100, Needs::relay},
    {"relay_output_high_voltage_clear", REG_RELAY_OUTPUT_HIGH_VOLTAGE_CLEAR,
     REG_RELAY_OUTPUT_HIGH_VOLTAGE_CLEAR, 100, Needs::relay},
};

// The rows between the system voltage setting and the lighting events.
const Row kModeRows[] = {
    {"cellguard_mode", REG_CELLGUARD_MODE, REG_NONE, 1, Needs::cellGuard},
    {"auto_equalise", REG_AUTO_EQUALISE, REG_NONE, 1, Needs::autoEqualise},
    {"battery_type", REG_BATTERY_TYPE, REG_NONE, 1, Needs::nothing},
    {"load_control", REG_LOAD_CONTROL, REG_NONE, 1, Needs::loadOutput},
};

// The rows after the lighting events.
const Row kTimerAndPortRows[] = {
    {"midpoint_shift", REG_MIDPOINT_SHIFT, REG_NONE, 1, Needs::solarTimer},
    {"dim_speed", REG_DIM_SPEED, REG_NONE, 1, Needs::streetlight2},
    {"panel_voltage_night", REG_PANEL_VOLTAGE_NIGHT, REG_PANEL_VOLTAGE_NIGHT, 100,
     Needs::streetlight2},
    {"panel_voltage_day", REG_PANEL_VOLTAGE_DAY, REG_PANEL_VOLTAGE_DAY, 100, Needs::streetlight2},
    {"sunset_delay", REG_SUNSET_DELAY, REG_NONE, 1, Needs::streetlight3},
    {"sunrise_delay", REG_SUNRISE_DELAY, REG_NONE, 1, Needs::streetlight3},
    {"port_tx_function", REG_PORT_TX_FUNCTION, REG_NONE, 1, Needs::txFunction},
    {"port_rx_function", REG_PORT_RX_FUNCTION, REG_NONE, 1, Needs::rxFunction},
    {"relay_mode", REG_RELAY_MODE, REG_NONE, 1, Needs::relay},
    {"relay_input_high_voltage_set", REG_RELAY_INPUT_HIGH_VOLTAGE_SET,
     REG_RELAY_INPUT_HIGH_VOLTAGE_SET, 100, Needs::relay},
    {"relay_input_high_voltage_clear", REG_RELAY_INPUT_HIGH_VOLTAGE_CLEAR,
     REG_RELAY_INPUT_HIGH_VOLTAGE_CLEAR, 100, Needs::relay},
    {"relay_min_enabled", REG_RELAY_MIN_ENABLED, REG_NONE, 1, Needs::relay},
};

bool holds(const ChargerSettings& model, Needs needs) {
  const bool solarTimer = model.has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER);
  const unsigned streetlight = model.capabilities.streetlightVersion;
  switch (needs) {
    case Needs::nothing:
      return true;
    case Needs::autoEqualise:
      return model.has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE);
    case Needs::switchLevels:
      return model.has(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH) ||
             model.has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
    case Needs::energySelector:
      return model.has(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE);
    case Needs::relay:
      return model.hasRelay();
    case Needs::cellGuard:
      return model.has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE);
    case Needs::loadOutput:
      return model.hasLoadOutput();
    case Needs::solarTimer:
      return solarTimer;
    case Needs::streetlight2:
      return solarTimer && streetlight >= 2;
    case Needs::streetlight3:
      return solarTimer && streetlight >= 3;
    case Needs::txFunction:
      return model.has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION);
    case Needs::rxFunction:
      return model.has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION);
  }
  return false;
}

Vreg preset(const std::string& label, std::uint32_t get, std::uint32_t set,
            const std::string& value) {
  Vreg vreg(label, get, set, 1);
  vreg.value = value;
  return vreg;
}

// "battery_voltage" (the system voltage in use) and "battery_voltage_setting" (the configured
// one). Register 0xEDEF holds the system voltage; which register reports it, and whether it can be
// written, changed with the firmware. Up to 1.08 the charger reports nothing but the configured
// value; from 1.09 to 1.11 the configured value cannot be read back at all; from 1.12 on both can
// be read.
struct BatteryVoltageRows {
  Vreg voltage;
  Vreg setting;
};

BatteryVoltageRows batteryVoltageRows(unsigned firmware) {
  if (firmware <= 0x108) {
    return {preset("battery_voltage", REG_NONE, REG_NONE, "00"),
            Vreg("battery_voltage_setting", REG_BATTERY_VOLTAGE, REG_BATTERY_VOLTAGE, 1)};
  }
  if (firmware <= 0x111) {
    return {Vreg("battery_voltage", REG_BATTERY_VOLTAGE, REG_NO_ACCESS, 1),
            preset("battery_voltage_setting", REG_NONE, REG_BATTERY_VOLTAGE, "00")};
  }
  return {Vreg("battery_voltage", REG_BATTERY_VOLTAGE, REG_BATTERY_VOLTAGE, 1),
          Vreg("battery_voltage_setting", REG_BATTERY_VOLTAGE_SETTING, REG_BATTERY_VOLTAGE, 1)};
}

template <std::size_t N>
void pushRows(ChargerSettings& model, const Row (&rows)[N]) {
  for (const Row& row : rows) {
    if (holds(model, row.needs)) model.settings.push(Vreg(row.label, row.get, row.set, row.scale));
  }
}

}  // namespace

void ChargerSettings::pushRegisterMap() {
  const BatteryVoltageRows battery = batteryVoltageRows(capabilities.firmwareVersion);
  settings.push(battery.voltage);
  pushRows(*this, kVoltageRows);
  // After every voltage: voltages written after a changed (or auto) system voltage setting can be
  // judged against the wrong system by the charger, so restore must write them first.
  settings.push(battery.setting);
  pushRows(*this, kModeRows);
  if (holds(*this, Needs::solarTimer)) {
    for (int n = 0; n < LIGHTING_EVENT_COUNT; ++n) {
      settings.push(
          Vreg("lighting_event" + std::to_string(n + 1), REG_LIGHTING_EVENT1 + n, REG_NONE, 1));
    }
  }
  pushRows(*this, kTimerAndPortRows);
}

}  // namespace sunlink
