#include "base/exit_program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "base/log.h"
#include "base/statuses.h"

namespace sunlink {

namespace {

// Whether everything written to standard output reached it. A full disk or a pipe closed early (a
// reader such as head that has seen enough) makes writes fail; the run goes on with its work on
// the charger, but a script must not take the output for complete. reason gets the system's
// reason when the last push of buffered output tells it.
bool standardOutputLost(std::string& reason) {
  std::cout.flush();
  errno = 0;
  if (std::fflush(stdout) != 0 && errno != 0) reason = std::strerror(errno);
  return std::cout.fail() || std::ferror(stdout) != 0;
}

}  // namespace

void exitProgram(int status) {
  std::string reason;
  if (standardOutputLost(reason)) {
    std::cerr << "Standard output could not be written"
              << (reason.empty() ? std::string(".") : ": " + reason + ".") << std::endl;
    // A more specific failure keeps its status.
    if (status == kExitOk) status = kExitFailure;
  }
  const std::int64_t micros = elapsedMicros();
  logInfo("chgtune", "done in %03d.%03d", static_cast<int>(micros / 1000000),
          static_cast<int>((micros / 1000) % 1000));
  dumpBacklog();
  std::exit(status);
}

}  // namespace sunlink
