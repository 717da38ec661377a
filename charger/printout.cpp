// The settings printout: the charger's current settings in plain language, one line each, from the
// in-memory settings list only.

#include <cstdint>
#include <string>

#include "charger/charger_settings.h"
#include "charger/value_text.h"

namespace sunlink {

namespace {

// Voltages and the temperature compensation with 2 decimals.
std::string volts(double value) { return fixedPoint(value, 2); }

// " minute" or " minutes", as English wants it after the number.
const char* minutes(long n) { return n == 1 ? " minute" : " minutes"; }
const char* seconds(long n) { return n == 1 ? " second" : " seconds"; }

}  // namespace

void ChargerSettings::printSettings() {
  std::ostream& out = *io.out;
  const bool rotary = has(SL_REG_CAPABILITIES1_HAS_ROTARY_ENCODER);
  const bool autoEqualise = has(SL_REG_CAPABILITIES1_HAS_AUTO_EQUALISE);

  out << capabilities.name << "\n\n";

  const std::uint8_t batteryType = find("battery_type").getU8();
  if (batteryType == BATTERY_TYPE_USER_DEFINED) {
    out << "Battery Type = User Defined";
    if (rotary) out << " (Rotary switch disabled)";
    out << '\n';
  } else if (rotary) {
    // The charger counts switch positions from 1 so that 0 is never a valid table.
    if (batteryType >= 1 && batteryType <= 8) {
      out << "Battery Type = Rotary switch position " << batteryType - 1 << '\n';
    } else {
      out << "Battery Type = Rotary switch\n";
    }
  } else {
    // The factory table's values for this system voltage, not the stored settings, which the
    // charger ignores while it uses its own table.
    const int v = systemVoltage();
    out << "Battery Type = Factory Defined (abs=" << volts(v * 14.4 / 12)
        << "V, float=" << volts(v * 13.8 / 12);
    if (autoEqualise) out << "V, eqv=" << volts(v * 16.2 / 12);
    out << "V)\n";
  }

  const int voltageSetting = find("battery_voltage_setting").getU8();
  if (voltageSetting != 0) {
    out << "Battery Voltage Setting = " << voltageSetting << "V, auto detect OFF\n";
  } else {
    out << "Battery Voltage Setting = Auto detect (at power-up), detected " << systemVoltage()
        << "V\n";
  }

  if (batteryType == BATTERY_TYPE_USER_DEFINED) {
    out << "Battery Absorption Voltage = " << volts(find("absorption_voltage").getNumber())
        << "V\n";
    out << "Battery Float Voltage = " << volts(find("float_voltage").getNumber()) << "V\n";
    if (autoEqualise) {
      out << "Battery Equalisation Voltage = " << volts(find("equalisation_voltage").getNumber())
          << "V\n";
    }
    out << "Temperature Compensation = " << volts(find("temperature_compensation").getNumber())
        << "mV/K\n";
    out << "Absorption time limit = ";
    printHoursMinutes(out, hoursToMinutes(find("absorption_time_limit").getNumber()));
    out << " hours\n";
  }

  if (has(SL_REG_CAPABILITIES1_HAS_CELLGUARD_MODE)) {
    out << "CellGuard mode = " << (find("cellguard_mode").getU8() != 0 ? "on" : "off") << '\n';
  }

  out << "Charger Current Limit = " << fixedPoint(find("maximum_current").getNumber(), 1) << "A\n";

  if (autoEqualise) {
    const int n = find("auto_equalise").getU8();
    out << "Automatic equalisation = ";
    if (n == 0) {
      out << "off";
    } else if (n == 1) {
      out << "on (daily)";
    } else {
      out << "on (every " << n << " days)";
    }
    out << '\n';
  }

  if (hasLoadOutput()) printLoadSection();

  if (hasRelay()) {
    out << "Alarm relay function = " << relayModeText() << '\n';
    const long n = find("relay_min_enabled").getU16();
    if (n != 0) out << "Alarm relay minimum enabled = " << n << minutes(n) << '\n';
  }

  if (has(SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION)) {
    const char* text = "<unknown>";
    switch (find("port_tx_function").getU8()) {
      case 0:
        text = "Normal SunLink communication";
        break;
      case 1:
        text = "Pulse every 0.01kWh";
        break;
      case 2:
        text = has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) ? "Light dimming control (pwm normal)"
                                                         : "<unsupported>";
        break;
      case 3:
        text = has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) ? "Light dimming control (pwm inverted)"
                                                         : "<unsupported>";
        break;
      case 4:
        text = has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT) ? "Virtual load output"
                                                                 : "<unsupported>";
        break;
      case 5:
        text = has(SL_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY) ? "Virtual relay" : "<unsupported>";
        break;
      default:
        break;
    }
    out << "SunLink TX Port function = " << text << '\n';
  }

  if (has(SL_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION)) {
    const bool loadOutput = has(SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT);
    const char* text = "<unknown>";
    switch (find("port_rx_function").getU8()) {
      case 0:
        text = "Remote on/off";
        break;
      case 1:
        text = loadOutput ? "Load output configuration" : "<unsupported>";
        break;
      case 2:
        text = loadOutput ? "Load output on/off (inverted)" : "<unsupported>";
        break;
      case 3:
        text = loadOutput ? "Load output on/off (normal)" : "<unsupported>";
        break;
      default:
        break;
    }
    out << "SunLink RX Port function = " << text << '\n';
  }
}

void ChargerSettings::printLoadSection() {
  std::ostream& out = *io.out;
  const std::uint8_t b = find("load_control").getU8();
  // The user defined switch levels, read only for the modes that show them.
  const auto low = [this] { return volts(find("load_switch_low_level").getNumber()); };
  const auto high = [this] { return volts(find("load_switch_high_level").getNumber()); };
  // A mode the charger lacks reads "<unsupported>" instead of its description.
  const auto supported = [&](std::uint32_t feature) {
    const bool present = has(feature);
    if (!present) out << "<unsupported>";
    return present;
  };
  out << "Load output control = ";
  if (b & 0x08) {
    out << "<unknown>";
  } else {
    switch (b & 0x0F) {
      case 0:
        out << "load output off";
        break;
      case 1:
        out << "cellcare algorithm";
        break;
      case 2: {
        const int v = systemVoltage();
        out << "conventional algorithm 1 (off<" << volts(v * 11.1 / 12) << "V, on>"
            << volts(v * 13.1 / 12) << "V)";
        break;
      }
      case 3: {
        const int v = systemVoltage();
        out << "conventional algorithm 2 (off<" << volts(v * 11.8 / 12) << "V, on>"
            << volts(v * 14.0 / 12) << "V)";
        break;
      }
      case 4:
        out << "load output on";
        break;
      case 5:
        if (supported(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH)) {
          out << "user defined algorithm 1 (off<" << low() << "V, on>" << high() << "V)";
        }
        break;
      case 6:
        if (supported(SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH)) {
          out << "user defined algorithm 2 (off<" << low() << "V<on<" << high() << "V<off)";
        }
        break;
      case 7:
        if (supported(SL_REG_CAPABILITIES1_HAS_LOAD_AES_MODE)) {
          out << "user defined algorithm 1 (off<" << low() << "V, on>" << high() << "V, time=";
          printHoursMinutes(out, find("automatic_energy_selector_timer").getU16());
          out << ")";
        }
        break;
    }
  }
  out << '\n';

  if (!has(SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER) || (b & 0x80) == 0) return;
  out << "Solar timer mode on\n";
  std::uint32_t events = 0;
  for (int slot = 1; slot <= 6; ++slot) {
    events |= printLightingEvent(out, find("lighting_event" + std::to_string(slot)).getU32(), slot);
  }
  if (events == 0) out << "No events defined\n";
  const long shift = static_cast<std::int16_t>(find("midpoint_shift").getU16());
  if (shift != 0) out << "Mid-point shift = " << shift << minutes(shift) << '\n';
  if (capabilities.streetlightVersion >= 2) {
    const unsigned long speed = find("dim_speed").getU32();
    if (speed != 0) out << "Gradual dimming = 1% per " << speed << seconds(speed) << '\n';
    const double night = find("panel_voltage_night").getNumber();
    const double day = find("panel_voltage_day").getNumber();
    // Either level at 0 means the charger uses its built-in detection.
    if (night != 0 && day != 0) {
      out << "Night/day detection night: Vpanel<" << volts(night) << "V, day: Vpanel>" << volts(day)
          << "V\n";
    }
  }
  if (capabilities.streetlightVersion >= 3) {
    const long sunset = static_cast<std::int16_t>(find("sunset_delay").getU16());
    if (sunset != 0) out << "Sunset delay duration = " << sunset << minutes(sunset) << '\n';
    const long sunrise = static_cast<std::int16_t>(find("sunrise_delay").getU16());
    if (sunrise != 0) out << "Sunrise delay duration = " << sunrise << minutes(sunrise) << '\n';
  }
}

std::string ChargerSettings::relayModeText() {
  const auto level = [this](const char* label) { return volts(find(label).getNumber()); };
  switch (find("relay_mode").getU8()) {
    case 0:
      return "always off";
    case 1:
      return "panel voltage high (off<" + level("relay_input_high_voltage_clear") + "V, on>" +
             level("relay_input_high_voltage_set") + "V)";
    case 2:
      return "on when charger temperature high";
    case 3:
      return "battery voltage low (on<" + level("relay_output_low_voltage_set") + "V, off>" +
             level("relay_output_low_voltage_clear") + "V)";
    case 4:
      return "on when equalization active";
    case 5:
      return "on when charger in error state";
    case 6:
      return "on when charger temperature below -20C (defrost)";
    case 7:
      return "battery voltage high (off<" + level("relay_output_high_voltage_clear") + "V, on>" +
             level("relay_output_high_voltage_set") + "V)";
    case 8:
      return "on when charger in float/storage state";
    case 9:
      return "on when panels irradiated (day)";
    case 10:
      return "load output mode";
    case 0xFF:
      return "remote control";
    default:
      return "<unknown>";
  }
}

}  // namespace sunlink
