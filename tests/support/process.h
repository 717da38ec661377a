// Runs a program as a child process the way a user or a script would: given arguments and a text
// on its standard input, it captures standard output, standard error and the exit status. Used by
// every test that drives the real chgtune or chgsim binary.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace sunlink {
namespace test {

struct ProcessResult {
  int exitCode = -1;      // 0 to 255 when the process exited (so -1 reads as 255)
  int termSignal = 0;     // the signal that ended it; 0 when it exited
  bool timedOut = false;  // it outlived the bound and was killed
  std::string out;
  std::string err;
};

// Runs binary with args (argv[0] is binary itself). stdinText is written to its standard input,
// which is then closed, so a program that reads past it sees the end of input. The child is
// killed (SIGKILL) when it runs longer than killAfter; that bound only keeps a hanging program from
// hanging the test suite.
ProcessResult runProcess(const std::string& binary, const std::vector<std::string>& args,
                         const std::string& stdinText = std::string(),
                         std::chrono::milliseconds killAfter = std::chrono::seconds(120));

// runProcess with standard output on a pseudo-terminal, as at a terminal window (standard input
// and standard error stay pipes). The terminal passes bytes through unchanged (no CR added before
// LF), so out holds exactly what the program wrote.
ProcessResult runProcessOnTerminal(const std::string& binary, const std::vector<std::string>& args,
                                   const std::string& stdinText = std::string(),
                                   std::chrono::milliseconds killAfter = std::chrono::seconds(120));

// runProcess for the chgtune binary of this build.
ProcessResult runChgtune(const std::vector<std::string>& args,
                         const std::string& stdinText = std::string(),
                         std::chrono::milliseconds killAfter = std::chrono::seconds(120));

}  // namespace test
}  // namespace sunlink
