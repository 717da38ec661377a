#include <sys/prctl.h>

#include <ctime>

#include "platform/clock.h"

namespace sunlink {

std::int64_t monotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void requestPreciseWakeUps() {
  // Best effort: a thread that keeps the default slack still works, only less exactly.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

std::uint16_t localMinutesOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<std::uint16_t>(local.tm_hour * 60 + local.tm_min);
}

std::chrono::seconds localTimeOfDay(std::chrono::system_clock::time_point at) {
  const std::time_t when = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
  localtime_r(&when, &local);
  return std::chrono::seconds(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

}  // namespace sunlink
