// Per-attempt time-outs of the HEX exchanges, and the waits of the runs that only listen. The
// program always uses these defaults; tests give shorter ones so that time-out paths can be
// counted quickly.
#pragma once

#include <chrono>

namespace sunlink {

// The watch (--watch), which sends nothing and only listens to the charger's TEXT blocks.
struct WatchTimeouts {
  // No valid block for this long: the user is told once (a charger sends one a second), and the
  // watch goes on listening.
  std::chrono::milliseconds silenceNotice{5000};
  // With --count, no valid block for this long ends the run (status 3).
  std::chrono::milliseconds silenceLimit{10000};
  // How often the watch looks at its port: whether it went away and, while it is away, whether it
  // is back. Each look wakes the watch, which otherwise sleeps from block to block.
  std::chrono::milliseconds portCheck{1000};
  // The link's pause between reads (QmxSerial::setReadPause): a block (about 0.1 s on the line)
  // comes in two or three reads, not one wake-up per byte, and is shown at most this much later.
  std::chrono::milliseconds readPause{200};
  // The broker of --mqtt: the pause after a failed attempt or a lost connection, doubled after
  // every further failure up to the longest; how long one attempt may take, which is also how long
  // a watch with --count waits for the broker before it gives up; how long the goodbye may take.
  std::chrono::milliseconds brokerRetryFirst{1000};
  std::chrono::milliseconds brokerRetryLongest{10000};
  std::chrono::milliseconds brokerConnectWait{10000};
  std::chrono::milliseconds brokerGoodbye{2000};
};

struct ExchangeTimeouts {
  std::chrono::milliseconds ping{1000};
  std::chrono::milliseconds deviceId{1000};
  std::chrono::milliseconds getRegister{1000};
  std::chrono::milliseconds setRegister{5000};
  // Quiet discovery: one listening cycle, and the listening limits (raised after damaged TEXT).
  std::chrono::milliseconds listenCycle{500};
  std::chrono::seconds listenLimit{5};
  std::chrono::seconds listenLimitGarbled{10};
  WatchTimeouts watch;
};

}  // namespace sunlink
