// What the handling of termination requests is the same for on every system: the hold, the
// cleanups and the files to remove (platform/termination_state.h).
#include "platform/signals.h"

#include <stdexcept>
#include <utility>

#include "platform/termination_state.h"

namespace sunlink {

TerminationState& TerminationState::instance() {
  static TerminationState* const state = new TerminationState;
  return *state;
}

bool TerminationState::holdRequest(int request) {
  if (!holding) return false;
  if (firstRequest == 0) firstRequest = request;
  if (onRequest) onRequest(request);
  return true;
}

void TerminationState::endRun() {
  for (auto& cleanup : cleanups) {
    try {
      cleanup.second();
    } catch (...) {
      // The process ends either way; the other cleanups still run.
    }
  }
  for (const std::string& file : files) removeFileNow(file);
}

int addTerminationCleanup(std::function<void()> cleanup) {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  const int id = state.nextCleanupId++;
  state.cleanups.emplace(id, std::move(cleanup));
  return id;
}

void removeTerminationCleanup(int id) {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.cleanups.erase(id);
}

void removeOnTermination(const std::string& path) {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.files.insert(path);
}

void keepOnTermination(const std::string& path) {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.files.erase(path);
}

RemovedOnTermination::RemovedOnTermination(std::string path) : path_(std::move(path)) {
  removeOnTermination(path_);
}

RemovedOnTermination::~RemovedOnTermination() { keepOnTermination(path_); }

TerminationHold::TerminationHold(std::function<void(int)> onRequest, StopRequests stops) {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.holding) throw std::logic_error("TerminationHold: a hold is already in place");
  state.holding = true;
  state.holdingStops = stops == StopRequests::held;
  state.onRequest = std::move(onRequest);
  state.firstRequest = 0;
  state.stopHeld = false;
}

TerminationHold::~TerminationHold() {
  if (!released_) release();
}

void TerminationHold::disarm() {
  TerminationState& state = TerminationState::instance();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.onRequest = nullptr;
}

int TerminationHold::release() {
  TerminationState& state = TerminationState::instance();
  int request = 0;
  bool stop = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (released_) return 0;
    released_ = true;
    state.holding = false;
    state.onRequest = nullptr;
    request = state.firstRequest;
    stop = state.stopHeld;
  }
  if (stop) stopNow();
  return request;
}

}  // namespace sunlink
