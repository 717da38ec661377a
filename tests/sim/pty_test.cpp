// PseudoTerminal, the pseudo-terminal every simulated line is made of, and PtyPair, the simulator's
// end of the line (platform/pty_linux.cpp).
#include "platform/pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "support/exclusive_mode.h"
#include "tests/sim/sim_line.h"

namespace sunlink {
namespace {

using test::SimLine;

// Lets the pair take note of peers until it sees the count it should; false after the limit.
bool awaitPeers(PtyPair& pair, bool expected) {
  const auto until = std::chrono::steady_clock::now() + test::kSafetyLimit;
  while (pair.hasPeers() != expected) {
    if (std::chrono::steady_clock::now() > until) return false;
    pair.wait(std::chrono::milliseconds(50), false);
  }
  return true;
}

std::string readFromPair(PtyPair& pair, std::size_t n) {
  std::string got;
  const auto until = std::chrono::steady_clock::now() + test::kSafetyLimit;
  char buffer[256];
  while (got.size() < n && std::chrono::steady_clock::now() < until) {
    pair.wait(std::chrono::milliseconds(50), false);
    got.append(buffer, pair.read(buffer, sizeof buffer));
  }
  return got;
}

// Both ends are closed on exec (a program the test starts must not keep the line alive), bytes
// pass between them, and a released end stays open for its new owner.
TEST(PseudoTerminalTest, EndsAreClosedOnExecConnectedAndReleasable) {
  PseudoTerminal terminal;
  ASSERT_GE(terminal.master(), 0);
  ASSERT_GE(terminal.slave(), 0);
  EXPECT_EQ(terminal.slavePath().rfind("/dev/pts/", 0), 0u) << terminal.slavePath();
  for (int fd : {terminal.master(), terminal.slave()}) {
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << fd;
  }
  makeRawLine(terminal.slave(), terminal.slavePath());
  ASSERT_EQ(::write(terminal.master(), "x\n", 2), 2);
  std::string got;
  char buffer[2];
  for (ssize_t n; got.size() < 2 && (n = ::read(terminal.slave(), buffer, 2 - got.size())) > 0;)
    got.append(buffer, static_cast<std::size_t>(n));
  EXPECT_EQ(got, "x\n");

  const int slave = terminal.releaseSlave();
  EXPECT_EQ(terminal.slave(), -1);
  terminal.closeMaster();
  EXPECT_EQ(terminal.master(), -1);
  EXPECT_GE(::fcntl(slave, F_GETFD), 0) << "the released end is still open";
  ::close(slave);
}

TEST(PtyPairTest, LineIsRawBothWays) {
  PtyPair pair;
  SimLine peer(pair.slavePath());
  ASSERT_TRUE(peer.isOpen());
  // Device to program: CR and LF arrive as sent (no CR-to-LF translation on input).
  const std::string block = "\r\nPID\t0xA042\r\nChecksum\t\r";
  EXPECT_EQ(pair.write(block.data(), block.size()), block.size());
  ASSERT_TRUE(peer.readUntil([&](const std::string& s) { return s.size() >= block.size(); }));
  EXPECT_EQ(peer.buffer(), block);
  // Program to device: LF stays LF (no CR added), and the device's own output is not echoed
  // back to it ahead of the program's bytes.
  peer.write(":154\n");
  EXPECT_EQ(readFromPair(pair, 5), ":154\n");
}

TEST(PtyPairTest, CountsPeersAndDropsWhatNobodyRead) {
  PtyPair pair;
  EXPECT_FALSE(pair.hasPeers());
  {
    SimLine first(pair.slavePath());
    ASSERT_TRUE(awaitPeers(pair, true));
    const std::string stale = "stale";
    pair.write(stale.data(), stale.size());
    // A program that asks for the port alone, then goes away.
    ASSERT_EQ(ioctl(first.fd(), TIOCEXCL), 0);
  }
  ASSERT_TRUE(awaitPeers(pair, false));

  SimLine second(pair.slavePath());
  ASSERT_TRUE(second.isOpen());
  ASSERT_TRUE(awaitPeers(pair, true));
  EXPECT_FALSE(test::inExclusiveMode(second.fd(), pair.slavePath()));
  const std::string fresh = "fresh";
  pair.write(fresh.data(), fresh.size());
  ASSERT_TRUE(second.readUntil([](const std::string& s) { return s.size() >= 5; }));
  EXPECT_EQ(second.buffer(), "fresh");
}

TEST(PtyPairTest, ClosingTheMasterEndsThePeersLine) {
  PtyPair pair;
  SimLine peer(pair.slavePath());
  ASSERT_TRUE(awaitPeers(pair, true));
  pair.closeMaster();
  EXPECT_FALSE(pair.masterOpen());
  EXPECT_TRUE(peer.readUntil([&](const std::string&) { return peer.ended(); }));
  char c;
  EXPECT_EQ(pair.read(&c, 1), 0u);
  EXPECT_EQ(pair.write("x", 1), 0u);
}

TEST(PtyPairTest, WakeEndsAWait) {
  PtyPair pair;
  std::thread waker([&] { pair.wake(); });
  PtyPair::Events events;
  // Without the wake this wait would last a minute.
  while (!events.woken) events = pair.wait(std::chrono::seconds(60), false);
  waker.join();
  EXPECT_TRUE(events.woken);
}

// A device thread that reads whenever the line wakes it, as the simulator does: once
// waitUntilRead returns, everything the peer wrote before is in the device's hands, in every round
// however the threads are scheduled; and a closed master ends the wait at once.
TEST(PtyPairTest, WaitUntilReadReturnsOnceEverythingWrittenBeforeIsRead) {
  PtyPair pair;
  SimLine peer(pair.slavePath());
  std::mutex mutex;
  std::string got;  // guarded by mutex
  std::atomic<bool> stop{false};
  std::thread device([&] {
    char buffer[7];  // small: several reads per round
    while (!stop.load()) {
      pair.wait(std::chrono::seconds(60), false);
      for (std::size_t n; (n = pair.read(buffer, sizeof buffer)) > 0;) {
        std::lock_guard<std::mutex> lock(mutex);
        got.append(buffer, n);
      }
    }
  });
  std::string sent;
  for (int round = 0; round < 50; ++round) {
    const std::string request = ":7F7ED00" + std::to_string(round) + "\n";
    peer.write(request);
    sent += request;
    ASSERT_TRUE(pair.waitUntilRead(test::kSafetyLimit)) << round;
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(got, sent) << round;
  }
  stop = true;
  pair.wake();
  device.join();
  pair.closeMaster();
  EXPECT_TRUE(pair.waitUntilRead(std::chrono::hours(1)));
}

}  // namespace
}  // namespace sunlink
