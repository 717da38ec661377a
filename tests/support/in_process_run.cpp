#include "support/in_process_run.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "app/run.h"
#include "platform/signals.h"
#include "support/log_capture.h"

namespace sunlink {
namespace test {

InProcessResult runInProcess(const std::vector<std::string>& args,
                             const InProcessOptions& options) {
  std::vector<const char*> argv = {"chgtune"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  std::istringstream in(options.stdinText);
  std::ostringstream out;
  std::ostringstream err;
  InProcessResult result;
  {
    // Before the run starts its link's reader thread, as the log's verbosity requires.
    LogCapture log;
    result.status = runChgtune(static_cast<int>(args.size()) + 1, argv.data(),
                               RunEnvironment{in, out, err, options.timeouts, options.linkTaken});
    for (const std::string& line : log.lines()) result.log += line + "\n";
  }
  result.out = out.str();
  result.err = err.str();
  // A hold left in place would make the next store in this process fail.
  try {
    TerminationHold next;
  } catch (const std::logic_error&) {
    ADD_FAILURE() << "the run left a termination hold in place";
  }
  return result;
}

}  // namespace test
}  // namespace sunlink
