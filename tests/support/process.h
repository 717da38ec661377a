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

// Where the child's standard output goes.
enum class StdoutTo {
  capture,     // a pipe the test reads (ProcessResult::out)
  closedPipe,  // a pipe whose reader has gone: every write fails (a "| head" that has seen enough)
  devFull,     // /dev/full: every write fails for want of space
  // A pseudo-terminal, as at a terminal window, that passes bytes through unchanged (no CR added
  // before LF): ProcessResult::out holds exactly what the program wrote.
  terminal,
};

struct ProcessOptions {
  std::string stdinText;  // written to its standard input, which is then closed
  StdoutTo stdoutTo = StdoutTo::capture;
  // Standard error on a pseudo-terminal that passes bytes through unchanged, as at a terminal
  // window: ProcessResult::err holds exactly what the program wrote, control sequences included.
  bool stderrOnTerminal = false;
  // Standard input on a pseudo-terminal, as typed at a terminal window (line by line, no echo):
  // stdinText is typed, then the end of input (Ctrl-D).
  bool stdinOnTerminal = false;
  // The child leads a process group of its own, as a shell with job control starts a job: stop
  // requests (SIGTSTP) are then acted on, not discarded as for an orphaned group.
  bool ownProcessGroup = false;
  // Run without root's privileges (user and group nobody) when the test runs as root, so that file
  // permissions apply to the child.
  bool unprivileged = false;
  // The child is killed (SIGKILL) when it runs longer; the bound only keeps a hanging program from
  // hanging the test suite.
  std::chrono::milliseconds killAfter = std::chrono::seconds(120);
};

// A child process that a test watches while it runs: sends it signals, waits for what it writes on
// standard error or for it to stop. Kills (SIGKILL) and reaps it if it is still there on
// destruction. Not copyable; one test thread.
class Process {
 public:
  Process(const std::string& binary, const std::vector<std::string>& args,
          const ProcessOptions& options = ProcessOptions());
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void signal(int number) const;
  // Collects output until standard error holds text. False when the child closed its output
  // first, or the bound passed.
  bool waitForErr(const std::string& text);
  // The same for standard output, until text appears there at least times times (a number of
  // lines: "\n", 3).
  bool waitForOut(const std::string& text, std::size_t times = 1);
  // Collects output until the child has stopped (SIGTSTP). False when it ended first, or the bound
  // passed.
  bool waitForStop();
  // Collects output until the child has ended, and its status.
  ProcessResult finish();
  // What was collected so far (the status only once it ended).
  const ProcessResult& collected() const { return result_; }

 private:
  // Reads what the child wrote and feeds its input, waiting at most waitMs for anything to happen.
  void pump(int waitMs);
  bool outputOpen() const { return out_ >= 0 || err_ >= 0; }
  bool pastBound();

  int pid_ = -1;
  int in_ = -1;
  int typedIn_ =
      -1;  // the terminal of standard input, once stdinText is typed: kept open till the end
  int out_ = -1;
  int err_ = -1;
  std::string stdinText_;
  bool stdinTerminal_ = false;
  std::size_t written_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  bool reaped_ = false;
  ProcessResult result_;
};

// Runs binary with args (argv[0] is binary itself) to its end.
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
// The chgtune binary of this build, as a watched Process.
std::string chgtuneBinary();

}  // namespace test
}  // namespace sunlink
