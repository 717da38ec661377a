// Text forms of setting values: fixed-point numbers, durations and street-light timer events.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace sunlink {

// value with the given number of decimals, as printf's "%.*f" writes it (14.40).
std::string fixedPoint(double value, int decimals);

// "HH:MM"; above 1440 minutes (or below 0) "--:--".
void printHoursMinutes(std::ostream& out, long minutes);

// Whole minutes of a duration in hours that the charger keeps in hundredths of an hour (the
// absorption time limit), times numerator / denominator, truncated toward zero. Worked out from the
// hundredths in whole numbers, so it is exact in decimal: 2.05 h is 123 minutes, where 2.05 x 60 in
// binary floating point falls just short of 123.
long hoursToMinutes(double hours, long numerator = 1, long denominator = 1);

// One street-light timer event, packed as the charger holds it in lighting_event1..6.
struct LightingEvent {
  std::uint8_t level = 0;   // bits 24-31: dim level in percent, 0 switch off
  std::uint8_t anchor = 0;  // bits 16-23: 1 sunset, 2 sunrise, 3 midnight
  std::int16_t offset = 0;  // bits 0-15: minutes, negative before the anchor
  static LightingEvent unpack(std::uint32_t value);
  std::uint32_t pack() const;
};
constexpr std::uint8_t ANCHOR_SUNSET = 1;
constexpr std::uint8_t ANCHOR_SUNRISE = 2;
constexpr std::uint8_t ANCHOR_MIDNIGHT = 3;

// "Event n: ..." and a line end for a non-zero value; nothing for 0. Returns value.
std::uint32_t printLightingEvent(std::ostream& out, std::uint32_t value, int slot);

}  // namespace sunlink
