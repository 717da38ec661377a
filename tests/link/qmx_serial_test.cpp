#include "link/qmx_serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/system/system_error.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "sim/charger_sim.h"
#include "support/pty_peer.h"

namespace sunlink {
namespace {

using test::hexFrame;
using test::PtyPeer;
using test::textBlock;

// What the reader thread handed out, collected for the test thread.
class Collected {
 public:
  void add(const std::string& item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(item);
    }
    changed_.notify_all();
  }
  // Waits (bounded, so a fault fails instead of hanging) until item has been added.
  bool waitFor(const std::string& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const std::string& i : items_)
        if (i == item) return true;
      return false;
    });
  }
  std::vector<std::string> items() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> items_;
};

std::string openError(const std::string& path) {
  try {
    QmxSerial link(path);
  } catch (const boost::system::system_error& e) {
    return e.what();
  }
  return "opened";
}

TEST(QmxSerialTest, OpenFailureNamesTheReason) {
  EXPECT_EQ(openError("/dev/chgtune-no-such-port"),
            "open /dev/chgtune-no-such-port: No such file or directory");
  const std::string notATerminal = testing::TempDir() + "chgtune-not-a-port";
  std::ofstream(notATerminal) << "x";
  EXPECT_EQ(openError(notATerminal), "open " + notATerminal + ": Inappropriate ioctl for device");
  std::remove(notATerminal.c_str());
}

TEST(QmxSerialTest, SecondOpenerOfAPortIsRefused) {
  PtyPeer peer;
  {
    QmxSerial first(peer.slavePath());
    EXPECT_TRUE(peer.exclusive());
    const std::string busy = "open " + peer.slavePath() + ": Device or resource busy";
    EXPECT_EQ(openError(peer.slavePath()), busy);
    first.start();
    EXPECT_EQ(openError(peer.slavePath()), busy);
    first.stop();
    // A stopped link lets go of the port at once, before it is destroyed.
    EXPECT_FALSE(peer.exclusive());
    EXPECT_EQ(openError(peer.slavePath()), "opened");
  }
  {
    // Abandoned without stop: the destructor closes, joins and lets go. The peer keeps the
    // terminal open, as a charger simulator does, so exclusive mode left behind would lock every
    // later (non-root) opener out.
    QmxSerial abandoned(peer.slavePath());
    abandoned.start();
  }
  EXPECT_FALSE(peer.exclusive());
  EXPECT_EQ(openError(peer.slavePath()), "opened");
}

TEST(QmxSerialTest, SendsTheFrameTextAndAnnouncesItFirst) {
  PtyPeer peer;
  QmxSerial link(peer.slavePath());
  link.start();
  std::vector<std::string> announced;
  std::size_t linesWhenAnnounced = 99;
  link.txSignal.connect([&](std::string& text) {
    announced.push_back(text);
    linesWhenAnnounced = peer.lineCount();
  });

  HexMsg get;
  get.append(0x07);
  get.append16(0x0100);
  get.append(0x00);
  EXPECT_EQ(link.send(get), 0);
  ASSERT_TRUE(peer.waitForLines(1));
  EXPECT_EQ(peer.lines(), std::vector<std::string>({":70001004D\n"}));
  EXPECT_EQ(announced, std::vector<std::string>({":70001004D\n"}));
  EXPECT_EQ(linesWhenAnnounced, 0u);
  link.stop();
}

TEST(QmxSerialTest, HandsEveryByteToTheSlotsInConnectionOrder) {
  PtyPeer peer;
  QmxSerial link(peer.slavePath());
  Collected events;
  // Connected before start, like the dump: sees each byte before the assemblers.
  link.rxSignal.connect([&](char c) { events.add(std::string("before ") + c); });
  link.hexSignal.connect([&](const HexMsg& frame) {
    std::string text = "frame";
    for (std::uint8_t b : frame.bytes()) text += " " + std::to_string(b);
    events.add(text);
  });
  link.start();
  link.rxSignal.connect([&](char c) { events.add(std::string("after ") + c); });

  const std::string reply = hexFrame(0x5, {0x09, 0x41});
  ASSERT_EQ(reply, ":5094106\n");
  peer.write(reply);
  ASSERT_TRUE(events.waitFor("after \n"));
  link.stop();

  std::vector<std::string> expected;
  for (char c : reply) {
    expected.push_back(std::string("before ") + c);
    if (c == '\n') expected.push_back("frame 5 9 65 6");
    expected.push_back(std::string("after ") + c);
  }
  EXPECT_EQ(events.items(), expected);
}

// A started link whose TEXT pairs are collected as "label=value".
class QmxSerialTextTest : public testing::Test {
 protected:
  QmxSerialTextTest() {
    link.textSignal.connect([this](const std::string& label, const std::string& value) {
      pairs.add(label + "=" + value);
    });
    link.start();
  }

  PtyPeer peer;
  Collected pairs;
  QmxSerial link{peer.slavePath()};
};

// A one-pair block with one byte damaged.
std::string damagedBlock() {
  std::string damaged = textBlock({{"V", "12800"}});
  damaged[5] = '9';
  return damaged;
}

TEST_F(QmxSerialTextTest, DeliversTextPairsAndCountsDamagedBlocks) {
  const std::string pid = textBlock({{"PID", "0xA042"}});
  // Reception starting mid-block, a damaged block, a HEX frame in between, then good blocks.
  peer.write(pid.substr(6) + damagedBlock() + textBlock({{"FW", "116"}}) + ":5094106\n" +
             textBlock({{"SER#", "HQ1"}, {"V", "12800"}}));
  ASSERT_TRUE(pairs.waitFor("V=12800"));
  link.stop();

  const std::vector<std::string> items = pairs.items();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0], "FW=116");
  EXPECT_EQ(items[1].substr(0, 9), "Checksum=");
  EXPECT_EQ(items[2], "SER#=HQ1");
  EXPECT_EQ(items[3], "V=12800");
  EXPECT_EQ(items[4].substr(0, 9), "Checksum=");
  EXPECT_EQ(link.errorCount(), 2);
}

TEST_F(QmxSerialTextTest, ErrorCountStopsAt255) {
  std::string noise;
  for (int i = 0; i < 300; ++i) noise += damagedBlock();
  peer.write(noise + textBlock({{"PID", "0xA042"}}));
  ASSERT_TRUE(pairs.waitFor("PID=0xA042"));
  EXPECT_EQ(link.errorCount(), 255);
  link.stop();
}

TEST(QmxSerialTest, LogsTheReaderLifecycle) {
  PtyPeer peer;
  const std::uint8_t verbosity = logVerbosity;
  logVerbosity = LOG_INFO;
  testing::internal::CaptureStderr();
  {
    QmxSerial link(peer.slavePath());
    EXPECT_TRUE(link.start());
    EXPECT_TRUE(link.start());  // the reader already runs: refused, nothing changes
    link.stop();
  }
  const std::string log = testing::internal::GetCapturedStderr();
  logVerbosity = verbosity;

  const char* lines[] = {
      " INF.serial: port open\n",
      " INF.serial: thread start\n",
      " ERR.serial: thread not available\n",
      " WRN.serial: serial port error [system]: Operation canceled (125)\n",
      " INF.serial: thread stopped\n",
  };
  for (const char* line : lines) {
    EXPECT_EQ(log.find(line), log.rfind(line)) << line << " in\n" << log;
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  }
  // "thread start" comes from the reader thread, so only the order of the others is fixed.
  EXPECT_LT(log.find("port open"), log.find("thread not available"));
  EXPECT_LT(log.find("thread not available"), log.find("serial port error"));
  EXPECT_LT(log.find("serial port error"), log.find("thread stopped"));
}

TEST(QmxSerialTest, LostLineFailsWritesAndStillStopsCleanly) {
  PtyPeer peer;
  QmxSerial link(peer.slavePath());
  link.start();
  peer.hangUp();
  HexMsg ping;
  ping.append(0x01);
  try {
    link.send(ping);
    ADD_FAILURE() << "send on a lost line succeeded";
  } catch (const boost::system::system_error& e) {
    EXPECT_EQ(std::string(e.what()), "write: Input/output error");
  }
  EXPECT_NO_THROW(link.stop());
}

// A watch that listens for days reads with a pause (a block in a few reads, not a wake-up per
// byte) and must tell a pulled adapter from its own stop: with or without the pause every byte
// comes through, a byte that comes during the pause is read no sooner than the pause's end, stop
// cuts a pause short however long it is, and only a read that failed (the line hung up) marks
// reception as failed.
TEST(QmxSerialTest, ReadPauseLosesNothingAndReceptionFailsOnlyWhenTheLineIsLost) {
  using Clock = std::chrono::steady_clock;
  for (const int pauseMs : {0, 200}) {
    for (const bool hangUp : {true, false}) {
      SCOPED_TRACE(std::to_string(pauseMs) + " ms pause, " + (hangUp ? "line hung up" : "stopped"));
      // What the reader thread's slots fill in, made before the link and gone after it.
      std::mutex mutex;
      std::condition_variable received;
      std::vector<Clock::time_point> byteTimes;  // guarded by mutex
      const auto waitForBytes = [&](std::size_t n,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex);
        return received.wait_for(lock, limit, [&] { return byteTimes.size() >= n; });
      };
      Collected pairs;
      PtyPeer peer;
      QmxSerial link(peer.slavePath());
      const std::chrono::milliseconds pause(pauseMs);
      link.setReadPause(pause);
      link.textSignal.connect([&pairs](const std::string& label, const std::string& value) {
        pairs.add(label + "=" + value);
      });
      link.rxSignal.connect([&](char) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          byteTimes.push_back(Clock::now());
        }
        received.notify_all();
      });
      link.start();
      const std::string block = textBlock({{"PID", "0xA042"}, {"SER#", "HQ12"}});
      // The first byte alone, then the rest while the reader pauses after reading it.
      peer.write(block.substr(0, 1));
      ASSERT_TRUE(waitForBytes(1));
      for (std::size_t at = 1; at < block.size(); at += 7) peer.write(block.substr(at, 7));
      ASSERT_TRUE(pairs.waitFor("SER#=HQ12"));
      EXPECT_EQ(pairs.items().front(), "PID=0xA042");
      {
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_EQ(byteTimes.size(), block.size());
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(byteTimes[1] - byteTimes[0])
                      .count(),
                  pauseMs);
      }
      EXPECT_FALSE(link.receptionFailed());
      if (hangUp) {
        peer.hangUp();
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (!link.receptionFailed() && Clock::now() < limit) std::this_thread::yield();
        EXPECT_TRUE(link.receptionFailed());
      } else if (pauseMs > 0) {
        // From now on the reader pauses for hours; the stop below must not wait for it. The reader
        // may take the long pause before this byte (when it had not yet taken the pause after the
        // block's last bytes) or after it: either way it ends up pausing, and the byte is waited
        // for only as long as the short pause might hold it back.
        link.setReadPause(std::chrono::hours(5));
        peer.write("\r");
        waitForBytes(block.size() + 1, std::chrono::seconds(1));
      }
      link.stop();
      EXPECT_EQ(link.receptionFailed(), hangUp);
    }
  }
}

TEST(QmxSerialSimTest, DeliversTheChargersTextBlocks) {
  sim::ChargerSim charger(sim::profileByName("load115"));
  QmxSerial link(charger.start());
  Collected pairs;
  link.textSignal.connect([&](const std::string& label, const std::string& value) {
    pairs.add(label + (label == "Checksum" ? std::string() : "=" + value));
  });
  link.start();
  sim::Faults faults;
  faults.textInterval = std::chrono::milliseconds(10);
  charger.setFaults(faults);  // from now on, whole blocks only
  ASSERT_TRUE(pairs.waitFor("Checksum"));
  link.stop();

  const std::vector<std::string> items = pairs.items();
  const auto& labels = charger.profile().textLabels;
  ASSERT_GT(items.size(), labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i].first == "V")  // the charger's battery voltage wanders from block to block
      EXPECT_EQ(items[i].substr(0, 2), "V=");
    else
      EXPECT_EQ(items[i], labels[i].first + "=" + labels[i].second);
  }
  EXPECT_EQ(items[labels.size()], "Checksum");
  EXPECT_EQ(items[0], "PID=0xA042");
  EXPECT_EQ(link.errorCount(), 0);
}

TEST(QmxSerialSimTest, CountsTheChargersDamagedBlocks) {
  sim::ChargerSim charger(sim::profileByName("load115"));
  QmxSerial link(charger.start());
  std::atomic<int> goodBlocks{0};
  std::atomic<int> errorsAtThirdGoodBlock{-1};
  Collected done;
  link.textSignal.connect([&](const std::string& label, const std::string&) {
    if (label != "Checksum") return;
    // Read on the reader thread, so exactly the blocks before this one are counted.
    if (++goodBlocks == 3) {
      errorsAtThirdGoodBlock = link.errorCount();
      done.add("third");
    }
  });
  link.start();
  sim::Faults faults;
  faults.textInterval = std::chrono::milliseconds(5);
  faults.badTextEvery = 2;  // blocks 2, 4, 6, ... damaged
  charger.setFaults(faults);
  ASSERT_TRUE(done.waitFor("third"));
  link.stop();
  EXPECT_EQ(errorsAtThirdGoodBlock, 2);
}

TEST(QmxSerialSimTest, SecondProgramOnTheChargersPortIsRefused) {
  sim::ChargerSim charger(sim::profileByName("load115"));
  const std::string path = charger.start();
  QmxSerial link(path);
  link.start();
  EXPECT_EQ(openError(path), "open " + path + ": Device or resource busy");
  // Nothing was sent by the refused opener.
  EXPECT_EQ(charger.requestCount(), 0u);
  link.stop();
  EXPECT_EQ(openError(path), "opened");
}

}  // namespace
}  // namespace sunlink
