// The progress line of long work (a retrieve, a store, a scan of several ports): one line on a
// terminal's standard error, redrawn in place as the work goes on and erased when it ends.
//
// While a run has taken the line (TerminalProgressLine), everything else the program writes to the
// terminal passes a filter: the progress line is erased before any other line reaches the screen
// (a log line, a warning, a resend notice, a printout line) and drawn again after it, and a line
// being written in pieces ("Checking: PORT", then its verdict) is held until it is whole, so that
// the two never mix. When standard error is not a terminal nothing is taken, nothing is drawn, and
// logs and scripts see exactly the bytes they would without it.
//
// Process-wide; showProgress, endProgress and the filtered streams may be used from any thread
// (one lock serialises them).
#pragma once

#include <functional>
#include <streambuf>
#include <string>

namespace sunlink {

// Draws text as the progress line, in place of the one shown. Nothing while no run has taken the
// line; not drawn while a line of other output stands unfinished on the screen.
void showProgress(const std::string& text);
// Erases the progress line and lets out what was held back. Nothing when none is shown.
void endProgress();

// Ends the progress line when the work it belongs to ends, however it ends.
class ProgressScope {
 public:
  ProgressScope() = default;
  ~ProgressScope() { endProgress(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
};

// Writes one or more whole lines to standard error by way of write (the log, which writes with the
// C library), with the progress line erased before and drawn again after.
void writeBesideProgress(const std::function<void()>& write);

// Takes the progress line for the run while it lives, when standard error is a terminal:
// std::cerr, and std::cout when standard output is a terminal too, write through the filter from
// then on. Gives the streams their own buffers back, the line erased, when destroyed. One at a
// time; created and destroyed on the main thread while no other thread writes.
class TerminalProgressLine {
 public:
  TerminalProgressLine();
  ~TerminalProgressLine();
  TerminalProgressLine(const TerminalProgressLine&) = delete;
  TerminalProgressLine& operator=(const TerminalProgressLine&) = delete;

 private:
  std::streambuf* errBuffer_ = nullptr;  // std::cerr's own buffer while the line is taken
  std::streambuf* outBuffer_ = nullptr;  // std::cout's, when it is filtered too
};

}  // namespace sunlink
