// PtyPeer: a scripted far end of a serial link, on the master side of a pseudo-terminal.
//
// The link under test opens slavePath(). The peer keeps the slave side open itself, so the link may
// open and close it freely, and reads on its own thread everything the link sends, cut into lines
// (each up to and including LF: the link's HEX frames). For every line a responder chosen by the
// test may answer with any bytes at all: replies, unrelated frames, damaged frames, garbage. The
// test may also write bytes unasked (TEXT blocks) from its own thread.
//
// Owns the pty pair and its thread; joins the thread on destruction. Every public member may be
// called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/pty.h"

namespace sunlink {
namespace test {

class PtyPeer {
 public:
  // Called on the peer's thread with every line the link sent and its index (0 for the first);
  // returns the bytes to send back, possibly none.
  using Responder = std::function<std::string(const std::string& line, std::size_t index)>;

  explicit PtyPeer(Responder responder = Responder());
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& slavePath() const { return terminal_.slavePath(); }

  // Writes bytes towards the link.
  void write(const std::string& bytes);

  // Every line received so far, in order.
  std::vector<std::string> lines() const;
  std::size_t lineCount() const;
  // Waits until at least n lines have arrived; false if they did not come within the limit.
  bool waitForLines(std::size_t n,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

  // Closes the master side as if the cable were pulled: the link's reads fail from now on.
  void hangUp();

  // Whether the terminal is in exclusive mode (new opens refused to all but root).
  bool exclusive() const;

 private:
  void run();
  void stopThread();

  PseudoTerminal terminal_;  // the master is written under writeMutex_ once the thread runs
  int wake_ = -1;            // eventfd that ends the thread's wait
  Responder responder_;
  std::thread thread_;
  std::mutex writeMutex_;  // orders writes to the master from the test and the peer thread

  mutable std::mutex mutex_;  // guards lines_
  mutable std::condition_variable linesChanged_;
  std::vector<std::string> lines_;
};

// A HEX frame from the device: code, then payload bytes; the checksum is added.
std::string hexFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload = {});

// A TEXT block with the given lines and a correct checksum byte (sim::textBlock).
std::string textBlock(const std::vector<std::pair<std::string, std::string>>& pairs);

}  // namespace test
}  // namespace sunlink
