#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace sunlink {

std::int64_t monotonicMicros() {
  // The counter's rate is fixed at boot; asking once is enough.
  static const std::int64_t frequency = [] {
    LARGE_INTEGER rate;
    QueryPerformanceFrequency(&rate);
    return static_cast<std::int64_t>(rate.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const std::int64_t ticks = now.QuadPart;
  // Whole seconds and the rest apart: ticks * 1000000 would overflow after some weeks of uptime
  // at the 10 MHz rate Windows commonly reports.
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

void requestPreciseWakeUps() {
  // Windows has no per-thread timer slack to give up. Nothing in the Windows program keeps a
  // schedule of its own (the simulated charger that does is Linux-only).
}

std::uint16_t localMinutesOfDay() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  return static_cast<std::uint16_t>(local.wHour * 60 + local.wMinute);
}

std::chrono::seconds localTimeOfDay(std::chrono::system_clock::time_point at) {
  const std::time_t when = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
  localtime_s(&local, &when);
  return std::chrono::seconds(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

}  // namespace sunlink
