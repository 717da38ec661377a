// The units of the register map's settings, as the printout shows them.

#include "charger/setting_units.h"

#include <cstdint>
#include <cstring>

#include "charger/value_text.h"
#include "settings/vreg.h"

namespace sunlink {

namespace {

struct UnitRow {
  const char* label;
  SettingUnit unit;
};

constexpr SettingUnit volts{"V", 100, 2, true, false};
constexpr SettingUnit code{"", 1, 0, false, false};
constexpr SettingUnit packedCode{"", 1, 0, false, true};
constexpr SettingUnit minutes{"min", 1, 0, false, false};
constexpr SettingUnit signedMinutes{"min", 1, 0, true, false};

// Every label the register map pushes. Voltages are read as signed, as the printout reads them.
constexpr UnitRow unitTable[] = {
    {"battery_voltage", {"V", 1, 0, false, false}},
    {"maximum_current", {"A", 10, 1, true, false}},
    // Carried between retrieve, restore and the settings file, never shown: its unit is unknown.
    {"bulk_time_limit", code},
    {"absorption_time_limit", {"h", 100, 2, true, false}},
    {"absorption_voltage", volts},
    {"float_voltage", volts},
    {"equalisation_voltage", volts},
    {"temperature_compensation", {"mV/K", 100, 2, true, false}},
    {"load_switch_high_level", volts},
    {"load_switch_low_level", volts},
    {"automatic_energy_selector_timer", minutes},
    {"relay_output_low_voltage_set", volts},
    {"relay_output_low_voltage_clear", volts},
    {"relay_output_high_voltage_set", volts},
    {"relay_output_high_voltage_clear", volts},
    {"battery_voltage_setting", {"V", 1, 0, false, false}},
    {"cellguard_mode", code},
    {"auto_equalise", code},
    {"battery_type", code},
    {"load_control", packedCode},
    {"lighting_event1", packedCode},
    {"lighting_event2", packedCode},
    {"lighting_event3", packedCode},
    {"lighting_event4", packedCode},
    {"lighting_event5", packedCode},
    {"lighting_event6", packedCode},
    {"midpoint_shift", signedMinutes},
    {"dim_speed", {"s", 1, 0, false, false}},
    {"panel_voltage_night", volts},
    {"panel_voltage_day", volts},
    {"sunset_delay", signedMinutes},
    {"sunrise_delay", signedMinutes},
    {"port_tx_function", code},
    {"port_rx_function", code},
    {"relay_mode", code},
    {"relay_input_high_voltage_set", volts},
    {"relay_input_high_voltage_clear", volts},
    {"relay_min_enabled", minutes},
};

const UnitRow* findRow(const std::string& label) {
  for (const UnitRow& row : unitTable) {
    if (label == row.label) return &row;
  }
  return nullptr;
}

}  // namespace

SettingUnit settingUnit(const std::string& label) {
  const UnitRow* row = findRow(label);
  return row != nullptr ? row->unit : packedCode;
}

bool knownSetting(const std::string& label) { return findRow(label) != nullptr; }

std::optional<double> settingNumber(const std::string& label, const std::string& value) {
  if (value.empty()) return std::nullopt;
  const SettingUnit unit = settingUnit(label);
  Vreg vreg;
  vreg.value = value;
  double raw = 0;
  if (value.size() == 2) {
    raw = vreg.getU8();
  } else if (value.size() == 8) {
    raw = vreg.getU32();
  } else if (unit.isSigned) {
    raw = static_cast<std::int16_t>(vreg.getU16());
  } else {
    raw = vreg.getU16();
  }
  return raw / unit.scale;
}

std::string settingText(const std::string& label, const std::string& value) {
  if (value.empty()) return "";
  const SettingUnit unit = settingUnit(label);
  if (unit.packed) return "0x" + value;
  std::string text = fixedPoint(*settingNumber(label, value), unit.decimals);
  if (std::strlen(unit.unit) > 0) text += std::string(" ") + unit.unit;
  return text;
}

}  // namespace sunlink
