#include "app/live_feed.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "link/qmx_serial.h"

namespace sunlink {

// The part the slot shares with the feed. Each attach starts a new generation: a slot of an
// earlier one (its link let go of, or a call already running when it was disconnected) is ignored.
struct LiveFeed::Shared {
  std::mutex mutex;  // guards everything below
  std::condition_variable changed;
  std::uint64_t generation = 0;
  LiveDecoder decoder;
  bool skipNextBlock = false;
  std::deque<LiveBlock> blocks;
  bool endRequested = false;

  void pair(std::uint64_t from, const std::string& label, const std::string& value) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (from != generation || !decoder.feed(label, value)) return;
      if (skipNextBlock) {
        skipNextBlock = false;
        return;
      }
      if (blocks.size() == kHeldBlocks) blocks.pop_front();
      blocks.push_back(LiveBlock{decoder.values(), std::chrono::system_clock::now()});
    }
    changed.notify_all();
  }
};

LiveFeed::LiveFeed() : shared_(std::make_shared<Shared>()) {}

LiveFeed::~LiveFeed() { detach(); }

void LiveFeed::attach(QmxSerial& link, bool running) {
  detach();
  std::uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    generation = ++shared_->generation;
    // A fresh decoder: the pairs of a block cut off by the old link's end must not run into the
    // new link's first block.
    shared_->decoder = LiveDecoder();
    shared_->skipNextBlock = running;
  }
  std::shared_ptr<Shared> shared = shared_;
  connection_ = link.textSignal.connect(
      [shared, generation](const std::string& label, const std::string& value) {
        shared->pair(generation, label, value);
      });
}

void LiveFeed::detach() {
  connection_.disconnect();
  std::lock_guard<std::mutex> lock(shared_->mutex);
  ++shared_->generation;
}

std::optional<LiveBlock> LiveFeed::next(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->changed.wait_until(lock, until,
                              [this] { return shared_->endRequested || !shared_->blocks.empty(); });
  if (shared_->endRequested || shared_->blocks.empty()) return std::nullopt;
  LiveBlock block = std::move(shared_->blocks.front());
  shared_->blocks.pop_front();
  return block;
}

void LiveFeed::requestEnd() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->endRequested = true;
  }
  shared_->changed.notify_all();
}

bool LiveFeed::endRequested() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->endRequested;
}

}  // namespace sunlink
