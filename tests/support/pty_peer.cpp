#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "codec/hex_msg.h"
#include "sim/charger_sim.h"
#include "support/exclusive_mode.h"

namespace sunlink {
namespace test {

namespace {

[[noreturn]] void fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPeer::PtyPeer(Responder responder) : responder_(std::move(responder)) {
  // The slave stays open for the peer's whole life: the link's close must not hang up the pair.
  makeRawLine(terminal_.slave(), terminal_.slavePath());
  wake_ = ::eventfd(0, EFD_CLOEXEC);
  if (wake_ < 0) fail("eventfd");
  thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
  stopThread();
  ::close(wake_);
}

void PtyPeer::stopThread() {
  if (!thread_.joinable()) return;
  const std::uint64_t one = 1;
  if (::write(wake_, &one, sizeof one) < 0) std::terminate();
  thread_.join();
}

void PtyPeer::hangUp() {
  stopThread();
  std::lock_guard<std::mutex> lock(writeMutex_);
  terminal_.closeMaster();
}

bool PtyPeer::exclusive() const {
  return inExclusiveMode(terminal_.slave(), terminal_.slavePath());
}

void PtyPeer::write(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(terminal_.master(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write to pty master");
    }
    done += static_cast<std::size_t>(n);
  }
}

std::vector<std::string> PtyPeer::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::size_t PtyPeer::lineCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

bool PtyPeer::waitForLines(std::size_t n, std::chrono::milliseconds limit) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return linesChanged_.wait_for(lock, limit, [&] { return lines_.size() >= n; });
}

void PtyPeer::run() {
  std::string partial;
  char buffer[512];
  pollfd fds[2] = {{terminal_.master(), POLLIN, 0}, {wake_, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    const ssize_t n = ::read(terminal_.master(), buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      partial.push_back(buffer[i]);
      if (buffer[i] != '\n') continue;
      std::size_t index;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        index = lines_.size();
        lines_.push_back(partial);
      }
      linesChanged_.notify_all();
      if (responder_) {
        const std::string answer = responder_(partial, index);
        if (!answer.empty()) write(answer);
      }
      partial.clear();
    }
  }
}

std::string hexFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
  HexMsg msg;
  msg.append(code);
  for (std::uint8_t b : payload) msg.append(b);
  return msg.toText();
}

std::string textBlock(const std::vector<std::pair<std::string, std::string>>& pairs) {
  return sim::textBlock(pairs);
}

}  // namespace test
}  // namespace sunlink
