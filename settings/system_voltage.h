// Which battery system (12, 24 or 48 V) a charge voltage belongs to.
#pragma once

namespace sunlink {

// The system voltage a charge voltage (absorption or float, in V) belongs to, for a charger that
// has not settled its own yet (auto detect before the first power-up, or firmware that does not
// report it): only a 24 V or 48 V system charges that high. A 36 V system is never guessed; it is
// only ever known from the charger.
constexpr int systemVoltageForChargeVoltage(double volts) {
  return volts > 35 ? 48 : volts > 17.5 ? 24 : 12;
}

}  // namespace sunlink
