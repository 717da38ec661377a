#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/pty.h"

namespace sunlink {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  try {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throwErrno("posix_openpt");
    if (grantpt(master_) != 0) throwErrno("grantpt");
    if (unlockpt(master_) != 0) throwErrno("unlockpt");
    char name[128];
    const int err = ptsname_r(master_, name, sizeof name);
    if (err != 0) {
      errno = err;
      throwErrno("ptsname_r");
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throwErrno("open " + slavePath_);
  } catch (...) {
    closeMaster();
    throw;
  }
}

PseudoTerminal::~PseudoTerminal() {
  closeSlave();
  closeMaster();
}

void PseudoTerminal::closeMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PseudoTerminal::closeSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

int PseudoTerminal::releaseMaster() { return std::exchange(master_, -1); }

int PseudoTerminal::releaseSlave() { return std::exchange(slave_, -1); }

void makeRawLine(int fd, const std::string& path) {
  termios line{};
  if (tcgetattr(fd, &line) != 0) throwErrno("tcgetattr " + path);
  cfmakeraw(&line);
  cfsetispeed(&line, B19200);
  cfsetospeed(&line, B19200);
  line.c_cflag |= CLOCAL | CREAD;
  if (tcsetattr(fd, TCSANOW, &line) != 0) throwErrno("tcsetattr " + path);
}

PtyPair::PtyPair() {
  try {
    const int flags = fcntl(terminal_.master(), F_GETFL);
    if (flags < 0 || fcntl(terminal_.master(), F_SETFL, flags | O_NONBLOCK) != 0) {
      throwErrno("fcntl " + terminal_.slavePath());
    }
    // Without raw mode the slave would echo the device's own output back to the master, and
    // translate CR and LF.
    makeRawLine(terminal_.slave(), terminal_.slavePath());

    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throwErrno("eventfd");

    // Watching is a convenience: without it the pair behaves as if a peer were always there.
    // The watch starts after the pair's own open of the slave, so only others are counted.
    notifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notifyFd_ >= 0) {
      watching_ =
          inotify_add_watch(notifyFd_, terminal_.slavePath().c_str(), IN_OPEN | IN_CLOSE) >= 0;
    }
  } catch (...) {
    for (int fd : {notifyFd_, wakeFd_}) {
      if (fd >= 0) close(fd);
    }
    throw;
  }
}

PtyPair::~PtyPair() {
  for (int fd : {notifyFd_, wakeFd_}) {
    if (fd >= 0) close(fd);
  }
}

PtyPair::Events PtyPair::wait(std::chrono::nanoseconds timeout, bool wantWrite) {
  Events events;
  pollfd fds[3];
  nfds_t count = 0;
  int masterIndex = -1;
  if (terminal_.master() >= 0) {
    masterIndex = static_cast<int>(count);
    fds[count++] =
        pollfd{terminal_.master(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
  }
  const nfds_t wakeIndex = count;
  fds[count++] = pollfd{wakeFd_, POLLIN, 0};
  int notifyIndex = -1;
  if (watching_) {
    notifyIndex = static_cast<int>(count);
    fds[count++] = pollfd{notifyFd_, POLLIN, 0};
  }
  if (timeout.count() < 0) timeout = std::chrono::nanoseconds(0);
  timespec limit{};
  limit.tv_sec = static_cast<time_t>(timeout.count() / 1000000000);
  limit.tv_nsec = static_cast<long>(timeout.count() % 1000000000);

  const int ready = ppoll(fds, count, &limit, nullptr);
  if (ready < 0) {
    if (errno == EINTR) return events;
    throwErrno("ppoll " + terminal_.slavePath());
  }
  if (masterIndex >= 0) {
    const short revents = fds[masterIndex].revents;
    events.readable = (revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    events.writable = (revents & POLLOUT) != 0;
  }
  if (fds[wakeIndex].revents & POLLIN) {
    std::uint64_t value = 0;
    while (::read(wakeFd_, &value, sizeof value) > 0) {
    }
    events.woken = true;
  }
  // Always drained, whatever the poll said: a peer's open is reported before its first request
  // can be read, and writes must know about it.
  if (notifyIndex >= 0) drainPeerEvents(events);
  return events;
}

void PtyPair::drainPeerEvents(Events& events) {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(notifyFd_, buffer, sizeof buffer);
    if (n <= 0) return;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_OPEN) {
        ++peers_;
        events.peersChanged = true;
      }
      if (event->mask & IN_CLOSE) {
        events.peersChanged = true;
        if (peers_ > 0 && --peers_ == 0) {
          ++lastPeerCloses_;
          resetLine();
        }
      }
      if (event->mask & IN_IGNORED) watching_ = false;  // the watch is gone
    }
  }
}

void PtyPair::resetLine() {
  // What the device wrote after the last peer stopped reading would otherwise greet the next
  // program that opens the path.
  tcflush(terminal_.slave(), TCIFLUSH);
  // A peer that asked for exclusive use has gone; the terminal stays open through the pair's own
  // slave descriptor, so the mode would lock out every later program.
  ioctl(terminal_.slave(), TIOCNXCL);
  try {
    makeRawLine(terminal_.slave(), terminal_.slavePath());
  } catch (const std::system_error&) {
    // The line keeps the settings the last peer left; they were raw already for any serial user.
  }
}

std::size_t PtyPair::read(char* buffer, std::size_t n) {
  // Noted before the read: bytes written before the ticket was taken are in the line by now.
  const std::uint64_t ticket = readTicketsTaken_.load();
  if (terminal_.master() < 0) return 0;
  // A peer's open is queued before it can write anything: taking note of it first means a
  // request is never read (and its reply thrown away) while its sender still counts as absent.
  if (watching_) {
    Events ignored;
    drainPeerEvents(ignored);
  }
  const ssize_t got = ::read(terminal_.master(), buffer, n);
  if (got > 0) return static_cast<std::size_t>(got);
  if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO) {
    markRead(ticket);
    return 0;
  }
  if (errno == EINTR) return 0;
  throwErrno("read " + terminal_.slavePath());
}

std::size_t PtyPair::write(const char* data, std::size_t n) {
  if (terminal_.master() < 0) return 0;
  const ssize_t put = ::write(terminal_.master(), data, n);
  if (put >= 0) return static_cast<std::size_t>(put);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == EIO) return 0;
  throwErrno("write " + terminal_.slavePath());
}

void PtyPair::wake() {
  const std::uint64_t one = 1;
  ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  (void)ignored;
}

void PtyPair::closeMaster() {
  terminal_.closeMaster();
  {
    std::lock_guard<std::mutex> lock(readMutex_);
    masterClosed_ = true;  // nothing more will be read
  }
  readDone_.notify_all();
}

bool PtyPair::waitUntilRead(std::chrono::nanoseconds limit) {
  const std::uint64_t ticket = ++readTicketsTaken_;
  wake();
  std::unique_lock<std::mutex> lock(readMutex_);
  return readDone_.wait_for(lock, limit,
                            [&] { return readTicketDone_ >= ticket || masterClosed_; });
}

void PtyPair::markRead(std::uint64_t ticket) {
  if (ticket == readTicketNoted_) return;
  readTicketNoted_ = ticket;
  {
    std::lock_guard<std::mutex> lock(readMutex_);
    readTicketDone_ = ticket;
  }
  readDone_.notify_all();
}

}  // namespace sunlink
