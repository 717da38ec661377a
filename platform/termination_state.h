// The bookkeeping of termination requests that every system shares (platform/signals.h is the
// interface): the hold, the cleanups, the files to remove. The system's own file takes the
// requests from the system and acts on them through this.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace sunlink {

struct TerminationState {
  // Made once and never destroyed: a thread of the system may still act on it while the process
  // ends.
  static TerminationState& instance();

  // Guards everything below. Held while a request is acted on, so that a hold cannot begin (and
  // switch the charger off) while the process is being ended.
  std::mutex mutex;
  bool holding = false;
  bool holdingStops = false;  // while holding: stop requests are held too
  std::function<void(int)> onRequest;
  int firstRequest = 0;
  bool stopHeld = false;
  std::map<int, std::function<void()>> cleanups;
  int nextCleanupId = 1;
  std::set<std::string> files;

  // With mutex held. Inside a hold the termination request is recorded and onRequest told:
  // true. Outside one: false, and the caller ends the process.
  bool holdRequest(int request);
  // With mutex held, just before the process ends: runs the cleanups, removes the files.
  void endRun();
};

// The system's own, in platform/signals_<system>.cpp:
// removes a file named as removeOnTermination got it, while the process ends;
void removeFileNow(const std::string& path);
// acts on a stop request that a hold kept until its release.
void stopNow();

}  // namespace sunlink
