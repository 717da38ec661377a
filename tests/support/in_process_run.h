// Runs chgtune in this process, as main runs it (runChgtune), on string streams: for the cases of
// a whole run whose time would otherwise go into the program's fixed time-outs (a charger that
// falls silent, a line that goes away, discovery's listening). The test then chooses the time-outs
// and discovery's waits, and may watch the run's link.
//
// Main sets up two things for the whole process before its run. The termination watcher is not
// started here: it would change how the test program itself takes its signals, for good; a run
// without it holds termination requests during a store all the same, it only does not receive
// any. The log goes to a file of the test's own instead of standard error (support/log_capture.h)
// and comes back apart from the error stream; its mode and verbosity, which the run changes, are
// put back afterwards. So runs stay independent of each other and of the order of the tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/exchange_timeouts.h"
#include "link/qmx_serial.h"

namespace sunlink {
namespace test {

struct InProcessOptions {
  std::string stdinText;
  // For every link of the run; the program's own unless the test passes others.
  ExchangeTimeouts timeouts;
  // Told of the run's link before the run sends anything on it (RunEnvironment::linkTaken).
  std::function<void(QmxSerial&)> linkTaken;
};

struct InProcessResult {
  int status = 0;  // as runChgtune returns it: -1, which the process would end with as 255
  std::string out;
  std::string err;
  // The log lines the run showed, stamps removed, each ending in a line feed. The program shows
  // them on standard error as they come.
  std::string log;
};

// Runs chgtune with args (the program name is added before them) and options, in this process.
// Fails the test when the run leaves a termination hold in place.
InProcessResult runInProcess(const std::vector<std::string>& args,
                             const InProcessOptions& options = InProcessOptions());

}  // namespace test
}  // namespace sunlink
