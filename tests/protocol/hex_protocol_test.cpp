// The HEX exchanges over a real pseudo-terminal: against the simulated charger, and against a
// scripted far end for the replies a charger does not normally send (too short, echoing another
// register, unasked). The requests that reached the far end are counted; silence is counted with
// short time-outs, answers get time-outs long enough never to expire on a loaded machine.
#include "protocol/hex_protocol.h"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/statuses.h"
#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/pty_peer.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

using namespace std::chrono_literals;
using test::hexFrame;
using test::PtyPeer;

constexpr std::chrono::milliseconds kShort = 30ms;
constexpr std::chrono::milliseconds kLong = 10s;

// A started link to the simulated charger.
class SimRig {
 public:
  explicit SimRig(const std::string& profile, const sim::Faults& faults = sim::Faults(),
                  std::chrono::milliseconds timeout = kLong)
      : charger_(profile, faults, timeout) {}
  SimRig(const std::string& profile, const sim::Faults& faults, const ExchangeTimeouts& timeouts)
      : charger_(profile, faults, timeouts) {}

  sim::ChargerSim& sim() { return charger_.sim; }
  HexProtocol& hex() { return hex_; }
  // Requests the charger received, counted once it has read everything the link sent: an
  // exchange that gave up has written its last request, which may not have been read yet.
  std::size_t requests() {
    EXPECT_TRUE(charger_.sim.waitUntilRead(10s));
    return charger_.sim.requestCount();
  }
  // Those with this command code.
  std::size_t requests(std::uint8_t code) { return charger_.requests(code); }

 private:
  test::SimLink charger_;
  HexProtocol hex_{*charger_.link};
};

// A started link to a peer that answers every request with the same bytes. Sends are counted on
// the link (txSignal runs on the requesting thread, so the count is exact when an operation
// returns) and checked against what reached the peer.
class PeerRig {
 public:
  explicit PeerRig(const std::string& answer, std::chrono::milliseconds timeout = kLong)
      : peer_([answer](const std::string&, std::size_t) { return answer; }),
        link_(peer_.slavePath()) {
    test::setEveryTimeout(link_, timeout);
    link_.txSignal.connect([this](std::string&) { ++sends_; });
    link_.start();
  }
  ~PeerRig() { link_.stop(); }

  QmxSerial& link() { return link_; }
  PtyPeer& peer() { return peer_; }
  HexProtocol& hex() { return hex_; }
  std::size_t sends() {
    EXPECT_TRUE(peer_.waitForLines(sends_));
    EXPECT_EQ(peer_.lineCount(), sends_);
    return sends_;
  }

 private:
  PtyPeer peer_;
  QmxSerial link_;
  HexProtocol hex_{link_};
  std::size_t sends_ = 0;  // main thread only
};

TEST(HexProtocolTest, RoundTripsWithTheSimulatedCharger) {
  SimRig rig("recent");
  const sim::Profile& profile = rig.sim().profile();

  std::uint16_t version = 0;
  EXPECT_TRUE(rig.hex().ping(version));
  EXPECT_EQ(version, profile.versionWord);
  std::uint16_t product = 0;
  EXPECT_TRUE(rig.hex().getDeviceId(product));
  EXPECT_EQ(product, profile.productId);

  HexMsg reply;
  ASSERT_EQ(rig.hex().getRegister(0x0140, reply), 0);  // capability word, 32 bits
  EXPECT_EQ(sim::u32(reply.read32()), rig.sim().registerValue(0x0140));
  ASSERT_EQ(rig.hex().getRegister(0x010B, reply), 0);  // model name, text
  EXPECT_EQ(sim::textBytes(reply.valueString()), rig.sim().registerValue(0x010B));

  EXPECT_TRUE(rig.hex().setRegister(0xEDF7, 1440));  // absorption voltage, 0.01 V
  ASSERT_EQ(rig.sim().writes().size(), 1u);
  EXPECT_EQ(rig.sim().writes()[0].id, 0xEDF7);
  EXPECT_EQ(rig.sim().writes()[0].value, sim::u16(1440));
  // The same reply object serves again, and the value is read right after the flags.
  ASSERT_EQ(rig.hex().getRegister(0xEDF7, reply), 0);
  EXPECT_EQ(reply.read16(), 1440);

  EXPECT_EQ(rig.requests(), 6u);  // one request per exchange
}

TEST(HexProtocolTest, SilentChargerIsAskedAFixedNumberOfTimes) {
  struct Case {
    const char* what;
    std::function<void(HexProtocol&)> call;
    std::size_t requests;
  };
  const Case cases[] = {
      {"ping",
       [](HexProtocol& hex) {
         std::uint16_t version;
         try {
           hex.ping(version);
           ADD_FAILURE() << "ping returned";
         } catch (const no_response& e) {
           const std::string* what = boost::get_error_info<tag_what>(e);
           ASSERT_NE(what, nullptr);
           EXPECT_EQ(*what, "no response");
         }
       },
       10},
      {"get device id",
       [](HexProtocol& hex) {
         std::uint16_t product;
         try {
           hex.getDeviceId(product);
           ADD_FAILURE() << "getDeviceId returned";
         } catch (const no_response& e) {
           EXPECT_EQ(boost::get_error_info<tag_what>(e), nullptr);
         }
       },
       3},
      {"get register",
       [](HexProtocol& hex) {
         HexMsg reply;
         EXPECT_EQ(hex.getRegister(0xEDF7, reply), -3);
       },
       3},
      {"set register",
       [](HexProtocol& hex) {
         try {
           hex.setRegister(0xEDF7, 1440);
           ADD_FAILURE() << "setRegister returned";
         } catch (const no_response& e) {
           EXPECT_EQ(boost::get_error_info<tag_what>(e), nullptr);
         }
       },
       10},
  };
  for (const Case& c : cases) {
    SimRig rig("silent", sim::Faults(), kShort);
    c.call(rig.hex());
    EXPECT_EQ(rig.requests(), c.requests) << c.what;
  }

  // A charger that falls silent in the middle of a conversation: the ping it answers has all the
  // time it needs, so that it is asked once however slow the machine.
  sim::Faults faults;
  faults.silentAfter = 1;
  ExchangeTimeouts answeredPing;
  answeredPing.ping = kLong;
  answeredPing.setRegister = kShort;
  SimRig rig("load115", faults, answeredPing);
  std::uint16_t version;
  EXPECT_TRUE(rig.hex().ping(version));
  EXPECT_THROW(rig.hex().setRegister(0xEDF7, 1440), no_response);
  EXPECT_EQ(rig.requests(CMD_PING), 1u);
  EXPECT_EQ(rig.requests(CMD_SET_REGISTER), 10u);
  EXPECT_EQ(rig.requests(), 11u);
}

TEST(HexProtocolTest, RefusalsEndTheExchangeAtOnce) {
  sim::Faults refuseSet, refuseGet, flagsOnGet, wrongId;
  refuseSet.refuseSet = {0xEDF7};
  refuseGet.refuseGet = {0xEDF7};
  flagsOnGet.flagsOnGet = {{0xEDF7, FLAGS_NOT_SUPPORTED}};
  wrongId.wrongIdOnGet = {0xEDF7};
  const auto get = [](HexProtocol& hex) {
    HexMsg reply;
    return hex.getRegister(0xEDF7, reply) == -3;
  };
  struct Case {
    const char* what;
    sim::Faults faults;
    std::function<bool(HexProtocol&)> failed;
  };
  const Case cases[] = {
      {"set refused", refuseSet, [](HexProtocol& hex) { return !hex.setRegister(0xEDF7, 1440); }},
      {"set of a register the charger lacks", sim::Faults(),
       [](HexProtocol& hex) { return !hex.setRegister(0xBEEF, 1); }},
      {"get refused", refuseGet, get},
      {"get with flags", flagsOnGet, get},
      {"get of a register the charger lacks", sim::Faults(),
       [](HexProtocol& hex) {
         HexMsg reply;
         return hex.getRegister(0xBEEF, reply) == kExchangeUnknownId;
       }},
      {"get answered for another register", wrongId, get},
  };
  for (const Case& c : cases) {
    SimRig rig("load115", c.faults);
    EXPECT_TRUE(c.failed(rig.hex())) << c.what;
    EXPECT_EQ(rig.requests(), 1u) << c.what;
    EXPECT_TRUE(rig.sim().writes().empty()) << c.what;
  }
}

TEST(HexProtocolTest, ReceptionErrorsAreResentWithinTheBudget) {
  struct Case {
    const char* what;
    int receptionErrors;
    std::string reports;
    int result;
  };
  const Case cases[] = {
      {"two damaged requests", 2,
       "Reception error received! attempts left: 2"
       "Reception error received! attempts left: 1",
       0},
      // Every request damaged: the budget runs out with -2, not a time-out.
      {"every request damaged", 100,
       "Reception error received! attempts left: 2"
       "Reception error received! attempts left: 1"
       "Reception error received! attempts left: 0",
       -2},
  };
  for (const Case& c : cases) {
    sim::Faults faults;
    faults.receptionErrors = c.receptionErrors;
    SimRig rig("load115", faults);
    HexMsg reply;
    testing::internal::CaptureStderr();
    const int result = rig.hex().getRegister(0xEDF7, reply);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.reports) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(rig.requests(), 3u) << c.what;
  }
}

TEST(HexProtocolTest, LostReplyIsMadeUpByTheNextAttempt) {
  sim::Faults faults;
  faults.dropReplies = 1;
  // The program's own time-out: the lost reply costs one, and the next answer comes within its
  // attempt however slow the machine (a later one is taken by the third attempt).
  SimRig rig("load115", faults, ExchangeTimeouts());
  std::uint16_t product = 0;
  EXPECT_TRUE(rig.hex().getDeviceId(product));
  EXPECT_EQ(product, rig.sim().profile().productId);
  EXPECT_GE(rig.requests(), 2u);
}

TEST(HexProtocolTest, SkipsEverythingButTheAnswer) {
  {
    sim::Faults faults;
    faults.asyncBeforeReply = true;  // an unasked register report before every reply
    faults.garbage = "\r\n:7000100FF\nnoise";
    faults.textInterval = 5ms;
    SimRig rig("load115", faults);
    for (int i = 0; i < 5; ++i) {
      HexMsg reply;
      EXPECT_EQ(rig.hex().getRegister(0xEDF7, reply), 0);
      EXPECT_EQ(sim::u16(reply.read16()), rig.sim().registerValue(0xEDF7));
    }
    EXPECT_EQ(rig.requests(), 5u);
  }
  {
    // Frames with codes nobody asked for, a code-2 frame with another word and one too short for
    // a word are all passed over.
    const std::string chatter = hexFrame(0x5, {0x16, 0x41}) + hexFrame(0x2, {0x55, 0x55}) +
                                hexFrame(0x2) + hexFrame(0x1, {0x42, 0xA0});
    PeerRig rig(chatter + hexFrame(0x7, {0x00, 0x01, 0x00, 0x2A}));
    HexMsg reply;
    EXPECT_EQ(rig.hex().getRegister(0x0100, reply), 0);
    EXPECT_EQ(reply.read8(), 0x2A);
    EXPECT_EQ(rig.sends(), 1u);
  }
}

TEST(HexProtocolTest, OddRepliesAreJudgedByTheirFields) {
  struct Case {
    const char* what;
    std::string answer;
    std::function<bool(HexProtocol&)> asExpected;
  };
  const auto getFails = [](HexProtocol& hex) {
    HexMsg reply;
    return hex.getRegister(0x0100, reply) == -3;
  };
  const Case cases[] = {
      {"get reply too short", hexFrame(0x7, {0x00}), getFails},
      {"get reply with the id only", hexFrame(0x7, {0x00, 0x01}), getFails},
      {"unknown register", hexFrame(0x3, {0x00, 0x01}), getFails},
      {"set reply too short", hexFrame(0x8, {0x00, 0x01}),
       [](HexProtocol& hex) { return !hex.setRegister(0x0100, 7); }},
      // Any acknowledged write counts here, even one echoing another register.
      {"set reply for another register", hexFrame(0x8, {0x01, 0x01, 0x00}),
       [](HexProtocol& hex) { return hex.setRegister(0x0100, 7); }},
      {"device id refused", hexFrame(0x4, {0x00, 0x01}),
       [](HexProtocol& hex) {
         std::uint16_t product;
         return !hex.getDeviceId(product);
       }},
      // A ping reply without its word: no version, but no exception either.
      {"ping reply without a word", hexFrame(0x5),
       [](HexProtocol& hex) {
         std::uint16_t version;
         return !hex.ping(version);
       }},
  };
  for (const Case& c : cases) {
    PeerRig rig(c.answer);
    EXPECT_TRUE(c.asExpected(rig.hex())) << c.what;
    EXPECT_EQ(rig.sends(), 1u) << c.what;
  }
}

TEST(HexProtocolTest, FrameArrivingBetweenExchangesIsNotTakenAsAnAnswer) {
  PeerRig rig("", kShort);
  {
    // A ping reply nobody asked for, seen to arrive before the ping is sent.
    std::mutex mutex;
    std::condition_variable arrived;
    bool seen = false;
    boost::signals2::scoped_connection watch = rig.link().hexSignal.connect([&](const HexMsg&) {
      std::lock_guard<std::mutex> lock(mutex);
      seen = true;
      arrived.notify_all();
    });
    rig.peer().write(hexFrame(0x5, {0x16, 0x41}));
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, 10s, [&] { return seen; }));
  }
  std::uint16_t version;
  EXPECT_THROW(rig.hex().ping(version), no_response);
  EXPECT_EQ(rig.sends(), 10u);
}

}  // namespace
}  // namespace sunlink
