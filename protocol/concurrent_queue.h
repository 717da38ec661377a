// The reply queue of one HEX exchange: the link's reader thread pushes every frame it receives,
// the requesting thread waits for them with an absolute deadline.
//
// Deadlines are points on the monotonic clock: a wall clock that jumps (a small box without a
// battery-backed clock setting its time from the network) must neither end a wait at once nor
// stretch it for years.
//
// Thread safety: push and waitAndPop may be called from any thread; mutex_ guards items_.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace sunlink {

template <typename T>
class concurrent_queue {
 public:
  using Clock = std::chrono::steady_clock;

  concurrent_queue() = default;
  concurrent_queue(const concurrent_queue&) = delete;
  concurrent_queue& operator=(const concurrent_queue&) = delete;

  // Appends a copy and wakes one waiter.
  void push(const T& item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(item);
    }
    ready_.notify_one();
  }

  // Waits until an item is there or the deadline has passed. True with the front item assigned to
  // out (and removed); false on time-out.
  bool waitAndPop(T& out, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_until(lock, deadline, [this] { return !items_.empty(); })) return false;
    out = items_.front();
    items_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> items_;  // guarded by mutex_
};

}  // namespace sunlink
