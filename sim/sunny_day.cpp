#include "sim/sunny_day.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace sunlink {
namespace sim {

namespace {

// Times of day as fractions of the day.
constexpr double kSunrise = 0.25;                // 06:00
constexpr double kAbsorptionStart = 0.45;        // 10:48
constexpr double kFloatStart = 0.55;             // 13:12
constexpr double kSunset = 0.75;                 // 18:00
constexpr double kPeakWatts = 120;               // at noon, for a small 12 V system
constexpr double kNightStartMillivolts = 12900;  // the battery at rest after sunset ...
constexpr double kNightEndMillivolts = 12500;    // ... and at sunrise
constexpr double kPi = 3.14159265358979323846;
constexpr int kMinutes = 24 * 60;

enum class Phase { night, bulk, absorption, floatCharge };

Phase phaseAt(double f) {
  if (f < kSunrise || f >= kSunset) return Phase::night;
  if (f < kAbsorptionStart) return Phase::bulk;
  if (f < kFloatStart) return Phase::absorption;
  return Phase::floatCharge;
}

double sunAt(double f) {
  return phaseAt(f) == Phase::night ? 0 : std::sin(kPi * (f - kSunrise) / (kSunset - kSunrise));
}

// What the charger takes from the panel: all the sun gives in bulk, less and less in absorption as
// the battery fills, a little in float.
double powerAt(double f) {
  switch (phaseAt(f)) {
    case Phase::bulk:
      return kPeakWatts * sunAt(f);
    case Phase::absorption:
      return kPeakWatts * sunAt(f) *
             (1 - 0.7 * (f - kAbsorptionStart) / (kFloatStart - kAbsorptionStart));
    case Phase::floatCharge:
      return kPeakWatts * sunAt(f) * 0.3;
    default:
      return 0;
  }
}

// The day's energy (Wh) and highest power (W) before each minute, summed once: the yields of
// any moment read from them.
struct DayTable {
  std::array<double, kMinutes + 1> energy{};
  std::array<double, kMinutes + 1> maxPower{};
  DayTable() {
    for (int m = 0; m < kMinutes; ++m) {
      const double power = powerAt((m + 0.5) / kMinutes);
      energy[m + 1] = energy[m] + power / 60;
      maxPower[m + 1] = std::max(maxPower[m], power);
    }
  }
};

const DayTable& dayTable() {
  static const DayTable table;
  return table;
}

// The battery's voltage (mV): resting down through the night, rising in bulk, held in absorption
// and float; a charger in its fault state leaves it where it rests.
double batteryMillivoltsAt(double f, const DayCharger& charger) {
  const Phase phase = phaseAt(f);
  if (charger.error != 0 && phase != Phase::night) return 12700;
  switch (phase) {
    case Phase::night: {
      const double sinceSunset = f >= kSunset ? f - kSunset : f + 1 - kSunset;
      return kNightStartMillivolts -
             (kNightStartMillivolts - kNightEndMillivolts) * sinceSunset / (1 - kSunset + kSunrise);
    }
    case Phase::bulk:
      return kNightEndMillivolts + (charger.absorptionMillivolts - kNightEndMillivolts) *
                                       (f - kSunrise) / (kAbsorptionStart - kSunrise);
    case Phase::absorption:
      return charger.absorptionMillivolts;
    default:
      return charger.floatMillivolts;
  }
}

// The panel's voltage (mV): none at night; at the maximum power point while tracking; higher while
// the charger holds the battery's voltage and takes less; open while the charger stands still.
double panelMillivoltsAt(double f, bool fault) {
  const Phase phase = phaseAt(f);
  const double sun = sunAt(f);
  if (phase == Phase::night) return 0;
  if (fault) return 20500 + 500 * sun;
  if (phase == Phase::bulk) return 17500 + 1000 * sun;
  return 19500 + 1000 * sun;
}

// The charger's state of operation (CS) and its tracker (MPPT).
struct StateOfCharge {
  int state = 0;
  int tracker = 0;
};

StateOfCharge stateOfChargeAt(double f, bool fault) {
  if (fault) return {2, 0};
  switch (phaseAt(f)) {
    case Phase::bulk:
      return {3, 2};
    case Phase::absorption:
      return {4, 1};
    case Phase::floatCharge:
      return {5, 1};
    default:
      return {0, 0};
  }
}

std::string hexMask(unsigned mask) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", mask);
  return text;
}

std::string number(double value) { return std::to_string(std::llround(value)); }

}  // namespace

std::vector<std::pair<std::string, std::string>> sunnyDayLabels(
    std::chrono::milliseconds sinceStart, std::chrono::milliseconds dayLength,
    const DayCharger& charger) {
  // Whole milliseconds since midnight before the run, so that a long run does not drift.
  const std::int64_t length = std::max<std::int64_t>(dayLength.count(), 1);
  const std::int64_t sinceMidnight =
      std::max<std::int64_t>(sinceStart.count(), 0) + length / 4;  // the run starts at 06:00
  const std::int64_t day = sinceMidnight / length;
  const double f = static_cast<double>(sinceMidnight % length) / static_cast<double>(length);

  const bool fault = charger.error != 0;
  const Phase phase = phaseAt(f);
  const double power = fault ? 0 : powerAt(f);

  const double battery = batteryMillivoltsAt(f, charger);
  const double current = power * 1e6 / battery - charger.loadMilliamps;  // mA
  const double panel = panelMillivoltsAt(f, fault);
  const StateOfCharge charge = stateOfChargeAt(f, fault);

  // The yields: today's so far (the table up to this minute and the part of it gone by), and a
  // whole day's for yesterday; a fresh charger has none from before the run.
  const DayTable& table = dayTable();
  const double minute = f * kMinutes;
  const int m = std::min(static_cast<int>(minute), kMinutes - 1);
  const double todayWh = table.energy[m] + powerAt(f) * (minute - m) / 60;
  const double todayMax = std::max(table.maxPower[m], powerAt(f));
  const double dayWh = table.energy[kMinutes];
  const auto centiKwh = [](double wh) { return std::to_string(static_cast<long long>(wh / 10)); };

  return {
      {"V", number(battery)},
      {"I", number(current)},
      {"VPV", number(panel)},
      {"PPV", number(power)},
      {"CS", std::to_string(charge.state)},
      {"MPPT", std::to_string(charge.tracker)},
      {"OR", hexMask(phase == Phase::night ? 0x1 : 0x0)},
      {"ERR", std::to_string(charger.error)},
      {"H19", centiKwh(static_cast<double>(day) * dayWh + todayWh)},
      {"H20", centiKwh(todayWh)},
      {"H21", number(todayMax)},
      {"H22", day == 0 ? "0" : centiKwh(dayWh)},
      {"H23", day == 0 ? "0" : number(table.maxPower[kMinutes])},
      // The charger counts its days 0 to 364.
      {"HSDS", std::to_string(day % 365)},
  };
}

}  // namespace sim
}  // namespace sunlink
