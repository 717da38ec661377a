// Clocks. The run-time clock and every time-out use the monotonic clock, so a wall clock that jumps
// (a small box without a battery-backed clock setting its time from the network) neither cuts a
// wait short nor stretches it without end. Only the charger's clock is set from local wall time.
#pragma once

#include <chrono>
#include <cstdint>

namespace sunlink {

// Microseconds on the monotonic clock (arbitrary origin).
std::int64_t monotonicMicros();

// Asks for the calling thread's timed waits to end as close to their deadline as the system can
// manage, instead of up to 50 µs late (the default timer slack, which lets the kernel batch
// wake-ups). For a thread that keeps a schedule of its own, such as the simulated charger's line.
void requestPreciseWakeUps();

// Minutes since local midnight, 0 to 1439.
std::uint16_t localMinutesOfDay();

// The local time of day at a moment of the wall clock, in seconds since midnight (0 to 86399), for
// the time a live value was received as the user reads clocks.
std::chrono::seconds localTimeOfDay(std::chrono::system_clock::time_point at);

}  // namespace sunlink
