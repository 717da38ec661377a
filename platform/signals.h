// Requests from outside the program to end or stop it: Ctrl-C, kill, a closed terminal or a
// dropped ssh session, Ctrl-\ (termination requests, numbered as the signals SIGINT, SIGTERM,
// SIGHUP, SIGQUIT) and Ctrl-Z (the stop request, SIGTSTP).
//
// No work is done in a signal handler: the requests are taken by one watching thread. Outside a
// TerminationHold each request keeps its usual effect (the process ends with that signal, so the
// shell sees it, or it stops), but before the process ends the registered cleanups run (the line
// settings of an open port are put back) and the registered files are removed. Inside a hold the
// requests are recorded instead, so that a charger switched off for a store is never left off.
//
// Writing to a closed pipe never ends the program either: the write fails and the program goes on.
//
// State is process-wide; every function may be called from any thread.
#pragma once

#include <functional>
#include <string>

namespace sunlink {

// Starts watching. Call it first thing in main, before any other thread exists: the requests are
// kept away from every thread but the watching one, and threads started later inherit that.
// Without this call nothing is watched and the requests act as the system's defaults.
void watchTerminationRequests();

// "SIGINT", "SIGTERM", ... for a request number as TerminationHold::release returns it.
std::string terminationRequestName(int request);

// Work to do if a termination request ends the run; runs on the watching thread. Returns the id
// that removeTerminationCleanup takes. Once removeTerminationCleanup has returned, the cleanup is
// not running and never will.
int addTerminationCleanup(std::function<void()> cleanup);
void removeTerminationCleanup(int id);

// A file to remove if a termination request ends the run (a temporary the run has not yet put in
// place), and the end of that wish.
void removeOnTermination(const std::string& path);
void keepOnTermination(const std::string& path);

// removeOnTermination for as long as it lives (a temporary file from creation until it is put in
// place or deleted).
class RemovedOnTermination {
 public:
  explicit RemovedOnTermination(std::string path);
  ~RemovedOnTermination();
  RemovedOnTermination(const RemovedOnTermination&) = delete;
  RemovedOnTermination& operator=(const RemovedOnTermination&) = delete;

 private:
  const std::string path_;
};

// While a hold lives, termination requests are held: none ends the program. The first one wins;
// later ones are held too. Stop requests are held as well unless the hold lets them act. Only one
// hold exists at a time.
class TerminationHold {
 public:
  enum class StopRequests {
    held,   // Ctrl-Z waits for the release (a store that has switched the charger off)
    acted,  // Ctrl-Z stops the program as usual (a watch, which only listens)
  };
  // onRequest, when given, is called on the watching thread with every termination request that
  // arrives while the hold lives, until disarm.
  explicit TerminationHold(std::function<void(int request)> onRequest = nullptr,
                           StopRequests stops = StopRequests::held);
  // Releases the hold if release was not called.
  ~TerminationHold();
  TerminationHold(const TerminationHold&) = delete;
  TerminationHold& operator=(const TerminationHold&) = delete;

  // From now on onRequest is not called; a call in progress has finished when this returns.
  // Requests are still held and recorded.
  void disarm();
  // Ends the hold. Returns the first termination request received while it lived (0: none); the
  // caller acts on it. A stop request received while it lived takes effect now: the program stops
  // here until it is continued.
  int release();

 private:
  bool released_ = false;
};

}  // namespace sunlink
