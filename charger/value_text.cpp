// Text forms of numbers, durations and street-light timer events.

#include "charger/value_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sunlink {

std::string fixedPoint(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void printHoursMinutes(std::ostream& out, long minutes) {
  // More than a day (or a negative count, which no duration can be) does not fit the HH:MM form.
  if (minutes > 1440 || minutes < 0) {
    out << "--:--";
    return;
  }
  char text[8];
  std::snprintf(text, sizeof text, "%02ld:%02ld", minutes / 60, minutes % 60);
  out << text;
}

long hoursToMinutes(double hours, long numerator, long denominator) {
  // The register's own count of hundredths, recovered exactly from its scaled value.
  const long long hundredths = std::llround(hours * 100);
  return static_cast<long>(hundredths * 60 * numerator / (100LL * denominator));
}

LightingEvent LightingEvent::unpack(std::uint32_t value) {
  LightingEvent event;
  event.level = static_cast<std::uint8_t>(value >> 24);
  event.anchor = static_cast<std::uint8_t>(value >> 16);
  event.offset = static_cast<std::int16_t>(value & 0xFFFF);
  return event;
}

std::uint32_t LightingEvent::pack() const {
  return (static_cast<std::uint32_t>(level) << 24) | (static_cast<std::uint32_t>(anchor) << 16) |
         static_cast<std::uint16_t>(offset);
}

std::uint32_t printLightingEvent(std::ostream& out, std::uint32_t value, int slot) {
  if (value == 0) return value;  // an empty slot
  const LightingEvent event = LightingEvent::unpack(value);
  out << "Event " << slot << ": ";
  if (event.offset != 0) {
    printHoursMinutes(out, std::labs(event.offset));
    out << (event.offset < 0 ? " before " : " after ");
  } else {
    out << "at ";
  }
  switch (event.anchor) {
    case ANCHOR_SUNSET:
      out << "sunset ";
      break;
    case ANCHOR_SUNRISE:
      out << "sunrise ";
      break;
    case ANCHOR_MIDNIGHT:
      out << "midnight ";
      break;
    default:
      out << "unknown ";
      break;
  }
  if (event.level != 0) {
    out << "switch on (" << static_cast<int>(event.level) << "%)";
  } else {
    out << "switch off";
  }
  out << '\n';
  return value;
}

}  // namespace sunlink
