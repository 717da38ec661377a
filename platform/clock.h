// Clocks. The run-time clock and every time-out use the monotonic clock, so a wall clock that jumps
// (a small box without a battery-backed clock setting its time from the network) neither cuts a wait
// short nor stretches it without end. Only the charger's clock is set from local wall time.
#pragma once

#include <cstdint>

namespace sunlink {

// Microseconds on the monotonic clock (arbitrary origin).
std::int64_t monotonicMicros();

// Minutes since local midnight, 0 to 1439.
std::uint16_t localMinutesOfDay();

}  // namespace sunlink
