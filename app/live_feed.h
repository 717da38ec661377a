// LiveFeed: the charger's TEXT blocks as the watch takes them. The pairs of the checksum-valid
// blocks of one link at a time are decoded into live values on the link's reader thread, and each
// block is handed to the watching thread as one record, with the time its last pair arrived.
//
// Owns the decoder and the records not yet taken: at most kHeldBlocks of them (the oldest go when
// the watching thread falls behind), so memory stays flat however long the watch runs.
//
// Threads: attach, detach and next on the watching thread; the slot on the link's reader thread;
// requestEnd on any thread (the termination requests' watcher). Every member is guarded by one
// mutex, shared with the slot, so that a slot still running when its link is let go of finds
// nothing to write to. The link may go before the feed, and the feed before the link.
#pragma once

#include <boost/signals2/connection.hpp>
#include <chrono>
#include <memory>
#include <optional>

#include "codec/live_values.h"

namespace sunlink {

class QmxSerial;

// One checksum-valid block's values, and the wall-clock time its last pair arrived.
struct LiveBlock {
  LiveValues values;
  std::chrono::system_clock::time_point at;
};

class LiveFeed {
 public:
  static constexpr std::size_t kHeldBlocks = 16;

  LiveFeed();
  ~LiveFeed();
  LiveFeed(const LiveFeed&) = delete;
  LiveFeed& operator=(const LiveFeed&) = delete;

  // Listens to link from now on (detaching from the one before). A link that runs already may be
  // in the middle of a block, whose first pairs went by unheard: its first block is left out, so
  // that no record lacks what the block carried.
  void attach(QmxSerial& link, bool running);
  // Stops listening; what a slot still running delivers is dropped. Blocks already received stay.
  void detach();

  // Waits until a block is there (and takes the oldest), an end is requested, or until. None when
  // no block came.
  std::optional<LiveBlock> next(std::chrono::steady_clock::time_point until);
  // Any thread: asks the watch to end; next returns at once from now on.
  void requestEnd();
  bool endRequested() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  boost::signals2::connection connection_;
};

}  // namespace sunlink
