// The program's end of a simulated line, for the simulator's own tests: opens the slave path with
// plain POSIX I/O, writes request frames, and reads back what the charger sent, split into HEX
// frames and everything else. Every read has a generous safety limit so a broken simulator fails
// a test instead of hanging it; no test asserts on that limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/hex_msg.h"

namespace sunlink {
namespace test {

constexpr std::chrono::milliseconds kSafetyLimit{3000};

class SimLine {
 public:
  explicit SimLine(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~SimLine() { close(); }
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  void write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0) waitFor(POLLOUT, std::chrono::milliseconds(100));
    }
  }
  void send(const HexMsg& request) { write(request.toText()); }

  // Reads more bytes into the buffer; false at end of file, on an error, or after the limit.
  bool readMore(std::chrono::milliseconds limit = kSafetyLimit) {
    if (!waitFor(POLLIN, limit)) return false;
    char chunk[1024];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  // Reads until done(buffer) holds; false after the safety limit or at the end of the line.
  bool readUntil(const std::function<bool(const std::string&)>& done) {
    const auto until = std::chrono::steady_clock::now() + kSafetyLimit;
    while (!done(buffer_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !readMore(left)) return done(buffer_);
    }
    return true;
  }

  // The next HEX frame line, ":" to LF inclusive; the bytes before it go to other(). Empty when
  // none arrives within the safety limit.
  std::string nextFrame() {
    std::string frame;
    readUntil([&](const std::string& buffer) {
      const std::size_t start = buffer.find(':');
      return start != std::string::npos && buffer.find('\n', start) != std::string::npos;
    });
    const std::size_t start = buffer_.find(':');
    if (start == std::string::npos) return frame;
    const std::size_t end = buffer_.find('\n', start);
    if (end == std::string::npos) return frame;
    other_ += buffer_.substr(0, start);
    frame = buffer_.substr(start, end + 1 - start);
    buffer_.erase(0, end + 1);
    return frame;
  }

  std::string ask(const HexMsg& request) {
    send(request);
    return nextFrame();
  }

  std::string& buffer() { return buffer_; }
  const std::string& other() const { return other_; }
  bool ended() const { return ended_; }

 private:
  bool waitFor(short events, std::chrono::milliseconds limit) {
    pollfd p{fd_, events, 0};
    return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
  }

  int fd_;
  bool ended_ = false;
  std::string buffer_;
  std::string other_;
};

// A message from its bytes: code first, no checksum.
inline HexMsg msg(std::initializer_list<std::uint8_t> bytes) {
  HexMsg m;
  for (std::uint8_t b : bytes) m.append(b);
  return m;
}

inline HexMsg getRequest(std::uint16_t id) {
  HexMsg m = msg({0x07});
  m.append16(id);
  m.append(0);
  return m;
}

inline HexMsg setRequest(std::uint16_t id, std::vector<std::uint8_t> value) {
  HexMsg m = msg({0x08});
  m.append16(id);
  m.append(0);
  for (std::uint8_t b : value) m.append(b);
  return m;
}

}  // namespace test
}  // namespace sunlink
