// The traffic dump: what a get exchange and TEXT data look like, and connecting it more than once.
#include "link/qmx_serial_dump.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "link/qmx_serial.h"
#include "protocol/hex_protocol.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/log_capture.h"
#include "support/scripted_device.h"

namespace sunlink {
namespace {

using test::LogCapture;
using test::ScriptedDevice;

// Counts the bytes a link received, so a test can wait until the dump has seen them all.
class ByteCounter {
 public:
  explicit ByteCounter(QmxSerial& link)
      : connection_(link.rxSignal.connect([this](char) {
          std::lock_guard<std::mutex> guard(mutex_);
          ++count_;
          changed_.notify_all();
        })) {}
  void awaitAtLeast(std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(10), [&] { return count_ >= n; }));
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t count_ = 0;  // guarded by mutex_
  boost::signals2::scoped_connection connection_;
};

TEST(QmxSerialDump, GetExchangeShowsRequestAndReplyFrames) {
  LogCapture log;
  sim::Profile profile = sim::profileByName("load115");
  ASSERT_FALSE(profile.registers.empty());
  const std::uint16_t id = profile.registers.begin()->first;
  sim::ChargerSim sim(profile);
  QmxSerial link(sim.start());
  std::ostringstream out;
  {
    QmxSerialDump dump(link, out);
    // Connected before start, as with --serial, and a second time without effect.
    dump.connectDump();
    dump.connectDump();
    link.start();
    HexMsg reply;
    ASSERT_EQ(HexProtocol(link).getRegister(id, reply), 0);
    link.stop();
  }
  HexMsg request;
  request.append(CMD_GET_REGISTER);
  request.append16(id);
  request.append(0);
  HexMsg expectedReply;
  expectedReply.append(RSP_GET);
  expectedReply.append16(id);
  expectedReply.append(0);
  for (std::uint8_t byte : sim.registerValue(id)) expectedReply.append(byte);
  EXPECT_EQ(out.str(), "> " + request.toText() + "< " + expectedReply.toText());
  EXPECT_EQ(
      log.messages("INF.serial: dumper"),
      (std::vector<std::string>{"connect rx", "connect tx", "disconnect rx", "disconnect tx"}));
}

// A link to a scripted device, not started unless a test starts it, and the dump's stream.
class DumpOnScriptedDevice : public testing::Test {
 protected:
  ScriptedDevice pty;
  QmxSerial link{pty.path()};
  std::ostringstream out;
};

TEST_F(DumpOnScriptedDevice, MarksEveryColonEvenInsideText) {
  QmxSerialDump dump(link, out);
  dump.connectDump();
  link.start();
  ByteCounter counter(link);
  const std::string data = "\r\nSER#\tAB:CD\r\nChecksum\t\x7f:5094106\n";
  pty.write(data);
  counter.awaitAtLeast(data.size());
  link.stop();
  EXPECT_EQ(out.str(), "\r\nSER#\tAB< :CD\r\nChecksum\t\x7f< :5094106\n");
}

TEST_F(DumpOnScriptedDevice, DisconnectedDumpShowsNothingUntilConnectedAgain) {
  LogCapture log;
  QmxSerialDump dump(link, out);
  dump.disconnectDump();  // nothing connected: no effect, no log line
  EXPECT_TRUE(log.messages("INF.serial: dumper").empty());

  dump.connectDump();
  link.rxSignal('a');
  dump.disconnectDump();
  dump.disconnectDump();
  link.rxSignal('b');
  std::string frame = ":154\n";
  link.txSignal(frame);
  dump.connectDump();
  link.rxSignal(':');
  link.txSignal(frame);
  EXPECT_EQ(out.str(), "a< :> :154\n");
  EXPECT_EQ(log.messages("INF.serial: dumper"),
            (std::vector<std::string>{"connect rx", "connect tx", "disconnect rx", "disconnect tx",
                                      "connect rx", "connect tx"}));
}

TEST_F(DumpOnScriptedDevice, DestroyedDumpLeavesTheStreamAlone) {
  {
    QmxSerialDump dump(link, out);
    dump.connectDump();
  }
  link.rxSignal('x');
  std::string frame = ":154\n";
  link.txSignal(frame);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace sunlink
