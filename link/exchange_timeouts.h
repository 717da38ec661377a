// Per-attempt time-outs of the HEX exchanges. The program always uses these defaults; tests give a
// link shorter ones so that time-out paths can be counted quickly.
#pragma once

#include <chrono>

namespace sunlink {

struct ExchangeTimeouts {
  std::chrono::milliseconds ping{1000};
  std::chrono::milliseconds deviceId{1000};
  std::chrono::milliseconds getRegister{1000};
  std::chrono::milliseconds setRegister{5000};
  // Quiet discovery: one listening cycle, and the listening limits (raised after damaged TEXT).
  std::chrono::milliseconds listenCycle{500};
  std::chrono::seconds listenLimit{5};
  std::chrono::seconds listenLimitGarbled{10};
};

}  // namespace sunlink
