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

}  // namespace sunlink
