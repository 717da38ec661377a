// The levels built into the charger: the voltages of its factory battery table and the switching
// levels of its conventional load output modes. They are given for a 12 V battery; a 24, 36 or 48 V
// system has them times its voltage / 12.
#pragma once

namespace sunlink {

// The charger's own battery table (battery type other than user defined): V, and mV/K.
constexpr double FACTORY_ABSORPTION_VOLTAGE = 14.4;
constexpr double FACTORY_FLOAT_VOLTAGE = 13.8;
constexpr double FACTORY_EQUALISATION_VOLTAGE = 16.2;
constexpr double FACTORY_TEMPERATURE_COMPENSATION = -16.2;

// The two conventional load output modes (2 and 3): off below one level, on again above the other.
struct LoadSwitchLevels {
  double off;
  double on;
};
constexpr LoadSwitchLevels CONVENTIONAL_ALGORITHM_1{11.1, 13.1};
constexpr LoadSwitchLevels CONVENTIONAL_ALGORITHM_2{11.8, 14.0};

// A 12 V level for a system of systemVoltage volts.
constexpr double atSystemVoltage(double twelveVoltLevel, int systemVoltage) {
  return systemVoltage * twelveVoltLevel / 12;
}

}  // namespace sunlink
