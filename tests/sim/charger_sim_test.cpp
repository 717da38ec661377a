#include "sim/charger_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "codec/live_values.h"
#include "codec/text_splitter.h"
#include "protocol/registers.h"
#include "tests/sim/sim_line.h"

namespace sunlink {
namespace sim {
namespace {

using test::getRequest;
using test::msg;
using test::setRequest;
using test::SimLine;

std::string text(std::initializer_list<std::uint8_t> bytes) { return msg(bytes).toText(); }

std::string withText(std::initializer_list<std::uint8_t> head, const std::string& value) {
  HexMsg m = msg(head);
  for (char c : value) m.append(static_cast<std::uint8_t>(c));
  return m.toText();
}

TEST(ChargerSimTest, AnswersEveryKindOfRequestByteForByte) {
  ChargerSim sim(profileByName("recent"));
  SimLine line(sim.start());
  ASSERT_TRUE(line.isOpen());

  struct Case {
    const char* what;
    std::string request;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"ping", text({0x01}), text({0x05, 0x17, 0x41})},
      {"device id", text({0x04}), text({0x01, 0x7A, 0xA0})},
      {"16-bit register", getRequest(0xEDF7).toText(), text({0x07, 0xF7, 0xED, 0, 0xA0, 0x05})},
      {"8-bit register", getRequest(0xEDEF).toText(), text({0x07, 0xEF, 0xED, 0, 0x0C})},
      {"32-bit register", getRequest(0x0140).toText(),
       text({0x07, 0x40, 0x01, 0, 0x45, 0x1E, 0x16, 0x02})},
      {"two-byte range", getRequest(0xEDCE).toText(), text({0x07, 0xCE, 0xED, 0, 12, 24})},
      {"text register", getRequest(0x010B).toText(),
       withText({0x07, 0x0B, 0x01, 0}, "MPPT 100/50 Sim")},
      {"get of a register it lacks", getRequest(0x1234).toText(), text({0x07, 0x34, 0x12, 0x01})},
      {"set of a register it lacks", setRequest(0x1234, {1, 0}).toText(),
       text({0x08, 0x34, 0x12, 0x01, 0x01, 0x00})},
      {"set", setRequest(0xEDF7, {0xDC, 0x05}).toText(), text({0x08, 0xF7, 0xED, 0, 0xDC, 0x05})},
      {"set of a read-only register", setRequest(0x0140, {0, 0, 0, 0}).toText(),
       text({0x08, 0x40, 0x01, FLAGS_READ_ONLY, 0, 0, 0, 0})},
      {"unknown command", text({0x03}), text({0x03})},
      {"bad checksum (a ping is :154)", ":155\n", text({0x02, 0xAA, 0xAA})},
      {"request with CR before LF", ":154\r\n", text({0x05, 0x17, 0x41})},
  };
  std::uint64_t requestBytes = 0, replyBytes = 0;
  for (const Case& c : cases) {
    line.write(c.request);
    EXPECT_EQ(line.nextFrame(), c.reply) << c.what;
    requestBytes += c.request.size();
    replyBytes += c.reply.size();
  }
  EXPECT_EQ(line.other(), "");  // no TEXT asked for, none sent
  // The line's byte counts, from which a benchmark works out the conversation's time on the wire.
  // A reply can reach the program before its write is counted: they are final once it stops.
  sim.stop();
  EXPECT_EQ(sim.bytesReceived(), requestBytes);
  EXPECT_EQ(sim.bytesSent(), replyBytes);
  EXPECT_EQ(sim.registerValue(0xEDF7), u16(0x05DC));
  ASSERT_EQ(sim.writes().size(), 1u);  // refused and read-only sets are not writes
  EXPECT_EQ(sim.writes()[0].id, 0xEDF7);
  EXPECT_EQ(sim.writes()[0].value, u16(0x05DC));
  EXPECT_EQ(sim.damagedRequestCount(), 1u);
}

TEST(ChargerSimTest, RecordsEveryRequestWithItsChecksumByte) {
  ChargerSim sim(profileByName("load115"));
  SimLine line(sim.start());
  line.ask(msg({0x01}));
  line.ask(setRequest(0xEDF6, {0x6E, 0x05}));
  line.write(":155\n");  // damaged: counted apart, not a request
  line.nextFrame();

  const std::vector<HexMsg> requests = sim.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].bytes(), (std::vector<std::uint8_t>{0x01, 0x54}));
  EXPECT_EQ(requests[1].bytes(),
            (std::vector<std::uint8_t>{0x08, 0xF6, 0xED, 0x00, 0x6E, 0x05, 0xF7}));
  EXPECT_EQ(sim.requestCount(), 2u);
  EXPECT_EQ(sim.damagedRequestCount(), 1u);
  EXPECT_EQ(sim.replyCount(), 3u);

  sim.clearRecords();
  EXPECT_EQ(sim.requestCount(), 0u);
  EXPECT_TRUE(sim.writes().empty());
  EXPECT_EQ(sim.damagedRequestCount(), 0u);
  // Registers are state, not records.
  EXPECT_EQ(sim.registerValue(0xEDF6), u16(0x056E));
}

TEST(ChargerSimTest, CommandRegistersActOnTheCharger) {
  ChargerSim sim(profileByName("recent"));
  SimLine line(sim.start());
  EXPECT_TRUE(sim.chargerOn());

  // Off and on, as the program switches the charger around a store.
  line.ask(setRequest(REG_DEVICE_MODE_UNLOCK, {2, 0}));
  line.ask(setRequest(REG_DEVICE_MODE, {4, 0}));
  EXPECT_FALSE(sim.chargerOn());
  line.ask(setRequest(REG_DEVICE_MODE_UNLOCK, {2, 0}));
  line.ask(setRequest(REG_DEVICE_MODE, {3, 0}));
  EXPECT_TRUE(sim.chargerOn());

  line.ask(setRequest(REG_CLEAR_HISTORY, {0, 0}));
  EXPECT_EQ(sim.historyClears(), 1);
  EXPECT_EQ(line.ask(setRequest(REG_CLOCK, {0x9F, 0x05})), text({0x08, 0x31, 0x20, 0, 0x9F, 0x05}));
  EXPECT_EQ(sim.registerValue(REG_CLOCK), u16(1439));

  // A factory reset brings back every setting, but not the clock or the on/off state.
  line.ask(setRequest(0xEDF7, {0x40, 0x06}));
  line.ask(setRequest(0xEDAB, {0x05}));
  sim.setRegisterValue(0x0140, u32(0));
  line.ask(setRequest(REG_RESTORE_DEFAULTS, {1, 0}));  // not a reset
  EXPECT_EQ(sim.factoryResets(), 0);
  EXPECT_EQ(sim.registerValue(0xEDF7), u16(0x0640));
  line.ask(setRequest(REG_DEVICE_MODE, {4, 0}));
  EXPECT_EQ(line.ask(setRequest(REG_RESTORE_DEFAULTS, {0, 0})), text({0x08, 0x04, 0x00, 0, 0, 0}));
  EXPECT_EQ(sim.factoryResets(), 1);
  EXPECT_EQ(sim.registerValue(0xEDF7), u16(1440));
  EXPECT_EQ(sim.registerValue(0xEDAB), u8(0x81));
  EXPECT_EQ(sim.registerValue(0x0140), u32(0x02161E45));
  EXPECT_EQ(sim.registerValue(REG_CLOCK), u16(1439));
  EXPECT_FALSE(sim.chargerOn());
  EXPECT_EQ(sim.registerValue(REG_DEVICE_MODE), u16(4));

  // Every accepted set is a write, in order.
  const std::vector<Write> writes = sim.writes();
  ASSERT_EQ(writes.size(), 11u);
  EXPECT_EQ(writes[0].id, REG_DEVICE_MODE_UNLOCK);
  EXPECT_EQ(writes[1].id, REG_DEVICE_MODE);
  EXPECT_EQ(writes[1].value, u16(4));
  EXPECT_EQ(writes.back().id, REG_RESTORE_DEFAULTS);
}

TEST(ChargerSimTest, BatteryVoltageSettingReadsBackFromItsOwnRegister) {
  // Firmware 1.12 and later: 0xEDEF takes the setting but reports the voltage in use.
  ChargerSim sim(profileByName("load115"));
  SimLine line(sim.start());
  line.ask(setRequest(0xEDEF, {0}));  // detect at power-up
  EXPECT_EQ(sim.registerValue(0xEDEF), u8(12));
  EXPECT_EQ(sim.registerValue(0xEDEA), u8(0));
  line.ask(setRequest(0xEDEF, {24}));
  EXPECT_EQ(sim.registerValue(0xEDEF), u8(24));
  EXPECT_EQ(sim.registerValue(0xEDEA), u8(24));

  // Up to firmware 1.08 0xEDEF is the setting itself.
  ChargerSim old(profileByName("load107"));
  SimLine oldLine(old.start());
  oldLine.ask(setRequest(0xEDEF, {12}));
  EXPECT_EQ(old.registerValue(0xEDEF), u8(12));
  EXPECT_TRUE(old.registerValue(0xEDEA).empty());
}

// Sends every request at once and compares the frames that come back, in order, with the answers
// the faults allow. Requests the charger leaves unanswered simply have no frame.
struct FaultCase {
  const char* what;
  const char* profile;
  Faults faults;
  std::vector<HexMsg> requests;
  std::vector<std::string> frames;  // every frame expected back, in order
  std::size_t writes;
};

TEST(ChargerSimTest, EachFaultSwitchChangesTheAnswersAsDocumented) {
  const HexMsg ping = msg({0x01});
  const std::string pong = text({0x05, 0x15, 0x41});  // load115
  const std::string absorption = text({0x07, 0xF7, 0xED, 0, 0xA0, 0x05});
  const std::string floatV = text({0x07, 0xF6, 0xED, 0, 0x64, 0x05});
  const std::string receptionError = text({0x02, 0xAA, 0xAA});

  Faults refuseSet;
  refuseSet.refuseSet = {0xEDF7};
  Faults refuseGet;
  refuseGet.refuseGet = {0xEDF7};
  Faults flags;
  flags.flagsOnGet = {{0xEDF7, FLAGS_NOT_SUPPORTED}};
  Faults unknownId;
  unknownId.flagsOnGet = {{0xEDF7, FLAGS_UNKNOWN_ID}};
  Faults wrongId;
  wrongId.wrongIdOnGet = {0xEDF7};
  Faults reception;
  reception.receptionErrors = 2;
  Faults drop;
  drop.dropReplies = 1;
  Faults silentAndBack;
  silentAndBack.silentAfter = 1;
  silentAndBack.resumeAfter = 3;
  Faults silentAfter;
  silentAfter.silentAfter = 2;
  Faults onRegister;
  onRegister.silentOnRegister = 0xEDF6;
  onRegister.silentRequests = 2;
  Faults shortPing;
  shortPing.shortPing = true;
  Faults widths;
  widths.checkWidths = true;
  Faults async;
  async.asyncBeforeReply = true;
  Faults garbage;
  garbage.garbage = "\x01noise\r\n";
  Faults refuseOff;
  refuseOff.refuseSwitchOff = true;
  Faults ignoreOff;
  ignoreOff.ignoreSwitchOff = true;
  // The device mode as a get reports it: 3, on.
  const std::string modeOn = text({0x07, 0x00, 0x02, 0, 0x03, 0x00});

  const std::vector<FaultCase> cases = {
      {"refuse set",
       "load115",
       refuseSet,
       {setRequest(0xEDF7, {0xA0, 0x05}), setRequest(0xEDF6, {0x64, 0x05})},
       {text({0x04, 0xF7, 0xED}), text({0x08, 0xF6, 0xED, 0, 0x64, 0x05})},
       1},
      {"refuse get", "load115", refuseGet, {getRequest(0xEDF7)}, {text({0x04, 0xF7, 0xED})}, 0},
      {"flags on get",
       "load115",
       flags,
       {getRequest(0xEDF7), getRequest(0xEDF6)},
       {text({0x07, 0xF7, 0xED, FLAGS_NOT_SUPPORTED}), floatV},
       0},
      {"unknown id on get, and for a register the profile lacks",
       "load115",
       unknownId,
       {getRequest(0xEDF7), getRequest(0xBEEF), getRequest(0xEDF6)},
       {text({0x07, 0xF7, 0xED, FLAGS_UNKNOWN_ID}), text({0x07, 0xEF, 0xBE, FLAGS_UNKNOWN_ID}),
        floatV},
       0},
      {"reply for another register",
       "load115",
       wrongId,
       {getRequest(0xEDF7)},
       {text({0x07, 0xF8, 0xED, 0, 0xA0, 0x05})},
       0},
      {"reception errors",
       "load115",
       reception,
       {ping, ping, ping},
       {receptionError, receptionError, pong},
       0},
      {"drop replies", "load115", drop, {ping, msg({0x04})}, {text({0x01, 0x42, 0xA0})}, 0},
      {"silent, then back",
       "load115",
       silentAndBack,
       {ping, getRequest(0xEDF7), getRequest(0xEDF7), getRequest(0xEDF6)},
       {pong, floatV},
       0},
      {"silent mid-way at a register",
       "load115",
       onRegister,
       {getRequest(0xEDF7), getRequest(0xEDF6), ping, getRequest(0xEDF6), getRequest(0xEDF6)},
       {absorption, floatV, floatV},
       0},
      {"short ping", "load115", shortPing, {ping}, {text({0x05})}, 0},
      {"value wider than the register",
       "load115",
       widths,
       {setRequest(0xEDEF, {12, 0}), setRequest(0xEDEF, {12}), setRequest(0x010B, {'x'})},
       {text({0x08, 0xEF, 0xED, FLAGS_PARAMETER_ERROR, 12, 0}), text({0x08, 0xEF, 0xED, 0, 12}),
        text({0x08, 0x0B, 0x01, FLAGS_READ_ONLY, 'x'})},
       1},
      {"unasked frame before each reply",
       "load115",
       async,
       {ping},
       {text({RSP_ASYNC, 0xD5, 0xED, 0, 0xFC, 0x04}), pong},
       0},
      {"garbage between frames", "load115", garbage, {ping, ping}, {pong, pong}, 0},
      {"silent after K requests",
       "load115",
       silentAfter,
       {ping, ping, ping, ping},
       {pong, pong},
       0},
      {"silent device", "silent", Faults(), {ping, msg({0x04}), getRequest(0xEDF7)}, {}, 0},
      {"switch-off refused, switch-on taken",
       "load115",
       refuseOff,
       {setRequest(0x0200, {4, 0}), setRequest(0x0200, {3, 0}), getRequest(0x0200)},
       {text({0x04, 0x00, 0x02}), text({0x08, 0x00, 0x02, 0, 0x03, 0x00}), modeOn},
       1},
      {"switch-off never answered",
       "load115",
       ignoreOff,
       {setRequest(0x0200, {4, 0}), getRequest(0x0200)},
       {modeOn},
       0},
  };

  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.what);
    ChargerSim sim(profileByName(c.profile), c.faults);
    SimLine line(sim.start());
    std::string all;
    for (const HexMsg& request : c.requests) all += request.toText();
    line.write(all);
    // Once every request is handled the number of replies on their way is known.
    ASSERT_TRUE(sim.waitForRequests(c.requests.size(), test::kSafetyLimit));
    // The unasked frame rides with its reply.
    EXPECT_EQ(sim.replyCount(), c.faults.asyncBeforeReply ? c.frames.size() / 2 : c.frames.size());
    std::vector<std::string> frames;
    const std::size_t expected = c.frames.size();
    while (frames.size() < expected) {
      const std::string frame = line.nextFrame();
      if (frame.empty()) break;
      frames.push_back(frame);
    }
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(sim.writes().size(), c.writes);
    EXPECT_EQ(sim.requestCount(), c.requests.size());  // silence does not hide a request
    std::string garbage;
    for (std::size_t i = 0; i < frames.size(); ++i) garbage += c.faults.garbage;
    EXPECT_EQ(line.other(), garbage);  // the garbage comes before each reply, and nothing else
  }
}

TEST(ChargerSimTest, FaultCountsStartAgainWhenTheFaultsAreSet) {
  Faults faults;
  faults.receptionErrors = 1;
  ChargerSim sim(profileByName("load115"), faults);
  SimLine line(sim.start());
  const std::string pong = text({0x05, 0x15, 0x41});
  EXPECT_EQ(line.ask(msg({0x01})), text({0x02, 0xAA, 0xAA}));
  EXPECT_EQ(line.ask(msg({0x01})), pong);
  sim.setFaults(faults);
  EXPECT_EQ(line.ask(msg({0x01})), text({0x02, 0xAA, 0xAA}));
  EXPECT_EQ(line.ask(msg({0x01})), pong);
  sim.setFaults(Faults());
  EXPECT_EQ(line.ask(msg({0x01})), pong);
}

TEST(ChargerSimTest, UnplugAfterKRequestsEndsTheLineForTheProgram) {
  Faults faults;
  faults.unplugAfter = 1;
  ChargerSim sim(profileByName("load115"), faults);
  SimLine line(sim.start());
  EXPECT_EQ(line.ask(msg({0x01})), text({0x05, 0x15, 0x41}));
  line.send(msg({0x01}));
  // The program sees the end of the line (end of file or an error), not a reply.
  EXPECT_TRUE(line.readUntil([&](const std::string&) { return line.ended(); }));
  EXPECT_EQ(line.buffer(), "");
  EXPECT_TRUE(sim.unplugged());
  EXPECT_EQ(sim.requestCount(), 2u);
}

TEST(ChargerSimTest, UnplugClosesTheLineAtOnce) {
  ChargerSim sim(profileByName("load115"));
  SimLine line(sim.start());
  EXPECT_EQ(line.ask(msg({0x01})), text({0x05, 0x15, 0x41}));
  sim.unplug();
  EXPECT_TRUE(sim.unplugged());
  EXPECT_TRUE(line.readUntil([&](const std::string&) { return line.ended(); }));
  sim.stop();  // after unplug, stopping is still safe
}

TEST(ChargerSimTest, LatencyAndLineRateDelayTheReply) {
  using std::chrono::steady_clock;
  // Lower bounds only: a reply can never come sooner than the charger's delay and the line allow.
  Faults late;
  late.latency = std::chrono::milliseconds(150);
  ChargerSim sim(profileByName("load115"), late);
  SimLine line(sim.start());
  auto sent = steady_clock::now();
  EXPECT_EQ(line.ask(msg({0x01})), text({0x05, 0x15, 0x41}));
  EXPECT_GE(steady_clock::now() - sent, std::chrono::milliseconds(150));

  Faults paced;
  paced.paceAtLineRate = true;
  ChargerSim slow(profileByName("recent"), paced);
  SimLine slowLine(slow.start());
  const std::string request = getRequest(0x010B).toText();
  sent = steady_clock::now();
  const std::string name = slowLine.ask(getRequest(0x010B));
  EXPECT_EQ(name, withText({0x07, 0x0B, 0x01, 0}, "MPPT 100/50 Sim"));
  // 10 bits per byte at 19200 baud, for the request on its way in and the reply on its way out;
  // a byte is handed over only once its stop bit has passed, the last reply byte included.
  EXPECT_GE(steady_clock::now() - sent,
            std::chrono::nanoseconds(1000000000LL * 10 / 19200 * (request.size() + name.size())));
  // Seen from the charger's side too, without the program's own wake-ups in the way.
  slow.stop();
  EXPECT_EQ(slow.bytesReceived(), request.size());
  EXPECT_EQ(slow.bytesSent(), name.size());
  EXPECT_GE(slow.lastByteSentAt() - slow.firstByteReceivedAt(),
            std::chrono::nanoseconds(1000000000LL * 10 / 19200 * (request.size() + name.size())));
  slow.clearRecords();
  EXPECT_EQ(slow.bytesReceived() + slow.bytesSent(), 0u);
  EXPECT_EQ(slow.firstByteReceivedAt(), steady_clock::time_point());
  EXPECT_EQ(slow.lastByteSentAt(), steady_clock::time_point());
}

// Splits the received stream into TEXT blocks, each ending with the byte after "\r\nChecksum\t".
std::vector<std::string> textBlocks(const std::string& stream) {
  std::vector<std::string> blocks;
  std::size_t start = 0;
  for (std::size_t at; (at = stream.find("\r\nChecksum\t", start)) != std::string::npos;) {
    const std::size_t end = at + 11;
    if (end >= stream.size()) break;
    blocks.push_back(stream.substr(start, end + 1 - start));
    start = end + 1;
  }
  return blocks;
}

std::uint8_t byteSum(const std::string& block) {
  std::uint8_t sum = 0;
  for (char c : block) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
  return sum;
}

TEST(ChargerSimTest, TextBlocksCarryTheIdentityAndTheChosenChecksums) {
  struct Case {
    const char* what;
    bool badTextChecksum;
    int badTextEvery;
    std::vector<bool> bad;  // for the first blocks, in order
  };
  const std::vector<Case> cases = {
      {"good", false, 0, {false, false, false, false, false, false}},
      {"every second block damaged", false, 2, {false, true, false, true, false, true}},
      {"every block damaged", true, 0, {true, true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Faults faults;
    faults.textInterval = std::chrono::milliseconds(5);
    faults.badTextChecksum = c.badTextChecksum;
    faults.badTextEvery = c.badTextEvery;
    ChargerSim sim(profileByName("load115"), faults);
    // Blocks start when a program opens the path, so the first block read is the first one sent.
    SimLine line(sim.start());
    ASSERT_TRUE(
        line.readUntil([&](const std::string& s) { return textBlocks(s).size() >= c.bad.size(); }));
    const std::vector<std::string> blocks = textBlocks(line.buffer());
    for (std::size_t i = 0; i < c.bad.size(); ++i) {
      EXPECT_EQ(byteSum(blocks[i]) != 0, c.bad[i]) << i;
      EXPECT_EQ(blocks[i].rfind("\r\nPID\t0xA042\r\nFW\t115\r\nSER#\t", 0), 0u) << blocks[i];
      // A ":" would turn the block's end into a HEX frame on the line.
      EXPECT_NE(blocks[i].back(), ':');
    }
  }
}

TEST(ChargerSimTest, TextBlockChecksumMakesTheByteSumZero) {
  const std::vector<std::pair<std::string, std::string>> labels = {{"PID", "0xA042"},
                                                                   {"V", "12760"}};
  const std::string block = textBlock(labels);
  EXPECT_EQ(block.substr(0, block.size() - 1), "\r\nPID\t0xA042\r\nV\t12760\r\nChecksum\t");
  EXPECT_EQ(byteSum(block), 0);
  EXPECT_EQ(byteSum(textBlock(labels, true)), 1);
  EXPECT_EQ(byteSum(textBlock({})), 0);
}

// The states seen, in order, come in the order given (some may be missed between two blocks).
bool comeInOrder(const std::vector<std::int64_t>& seen, const std::vector<std::int64_t>& order) {
  std::size_t at = 0;
  for (std::int64_t state : seen) {
    while (at < order.size() && order[at] != state) ++at;
    if (at == order.size()) return false;
  }
  return true;
}

// With a simulated day the blocks' values move while every block keeps its checksum, and what the
// profile fixes stays as given; an error raised later shows in the next blocks. The line carries
// as many blocks as the machine's speed allows, so only relations between them are asserted.
TEST(ChargerSimTest, TextBlocksGoThroughTheDayWithTheirChecksumsRight) {
  Profile profile = profileByName("load115");
  setTextLabel(profile, "VPV", "33000");
  setTextLabel(profile, "SOC", "87");
  Faults faults;
  faults.textInterval = std::chrono::milliseconds(5);
  faults.dayLength = std::chrono::milliseconds(400);
  ChargerSim sim(profile, faults);
  SimLine line(sim.start());
  const auto records = [](const std::string& stream) {
    std::vector<LiveValues> decoded;
    LiveDecoder decoder;
    for (const std::string& block : textBlocks(stream)) {
      EXPECT_EQ(byteSum(block), 0) << block;
      extractPairs(block, [&](const std::string& label, const std::string& value) {
        if (decoder.feed(label, value)) decoded.push_back(decoder.values());
      });
    }
    return decoded;
  };
  // Day 0 starts at sunrise; read on into the next day's bulk.
  ASSERT_TRUE(line.readUntil([&](const std::string& s) {
    const std::vector<LiveValues> r = records(s);
    return !r.empty() && r.back()[LiveField::day] == 1 && r.back()[LiveField::state] == 3;
  }));
  std::map<std::int64_t, std::vector<std::int64_t>> statesOfDay;
  std::int64_t total = 0;
  for (const LiveValues& v : records(line.buffer())) {
    ASSERT_TRUE(v[LiveField::day] && v[LiveField::state] && v[LiveField::tracker] &&
                v[LiveField::yieldTotal] && v[LiveField::yieldYesterday]);
    EXPECT_EQ(v[LiveField::panelV], 33000);
    EXPECT_EQ(v.other, (std::vector<std::pair<std::string, std::string>>{{"SOC", "87"}}));
    EXPECT_GE(*v[LiveField::yieldTotal], total);
    total = *v[LiveField::yieldTotal];
    statesOfDay[*v[LiveField::day]].push_back(*v[LiveField::state]);
  }
  EXPECT_TRUE(comeInOrder(statesOfDay[0], {3, 4, 5, 0}));
  EXPECT_TRUE(comeInOrder(statesOfDay[1], {0, 3}));

  faults.textError = 17;
  sim.setFaults(faults);
  ASSERT_TRUE(line.readUntil([&](const std::string& s) {
    const std::vector<LiveValues> r = records(s);
    return !r.empty() && r.back()[LiveField::error] == 17;
  }));
  const LiveValues failing = records(line.buffer()).back();
  EXPECT_EQ(failing[LiveField::state], 2);
  EXPECT_EQ(failing[LiveField::panelW], 0);
}

TEST(ChargerSimTest, TextFloodNeverSplitsAReply) {
  Faults faults;
  faults.textFlood = true;
  faults.badTextEvery = 3;
  ChargerSim sim(profileByName("recent"), faults);
  SimLine line(sim.start());
  const std::string reply = text({0x07, 0xF7, 0xED, 0, 0xA0, 0x05});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(line.ask(getRequest(0xEDF7)), reply) << i;
  // Everything before and between the replies is whole blocks, back to back: no reply went into
  // a block and no block was cut by a reply.
  const std::vector<std::string> blocks = textBlocks(line.other());
  ASSERT_GE(blocks.size(), 1u);
  std::string joined;
  for (const std::string& block : blocks) {
    EXPECT_EQ(block.rfind("\r\nPID\t0xA07A\r\n", 0), 0u) << block;
    joined += block;
  }
  EXPECT_EQ(joined, line.other());
  EXPECT_GE(sim.textBlockCount(), blocks.size());
}

// Current firmware: stray bytes and unasked frames before every reply, a cut TEXT block right
// before the first ping reply and a whole one right before every other reply.
TEST(ChargerSimTest, CurrentFirmwareWrapsItsRepliesAsOnARealLine) {
  Faults faults;
  faults.textInterval = std::chrono::milliseconds(0);
  ChargerSim sim(profileByName("current161"), faults);
  SimLine line(sim.start());
  const std::string async = ":A";
  const struct {
    HexMsg request;
    std::string reply;
    bool wholeBlock;  // else the block before the reply is cut
  } steps[] = {
      {msg({0x01}), text({0x05, 0x61, 0x41}), false},
      {getRequest(0xEDF7), text({0x07, 0xF7, 0xED, 0, 0x8C, 0x05}), true},
      {getRequest(0xEDFC), text({0x07, 0xFC, 0xED, FLAGS_UNKNOWN_ID}), false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.reply);
    line.buffer().clear();
    line.send(step.request);
    ASSERT_TRUE(line.readUntil(
        [&](const std::string& b) { return b.find(step.reply) != std::string::npos; }));
    const std::string& b = line.buffer();
    const std::size_t at = b.find(step.reply);
    EXPECT_EQ(b.rfind("\r\n\x01" + async, 0), 0u) << "stray bytes, then the first frame";
    std::size_t frames = 0;
    for (std::size_t f = b.find(async); f < at; f = b.find(async, f + 1)) ++frames;
    EXPECT_EQ(frames, 3u);
    const std::size_t checksum = b.rfind("\r\nChecksum\t", at);
    const bool blockFirst = step.wholeBlock || &step == &steps[0];
    ASSERT_EQ(checksum != std::string::npos && checksum + 12 == at, blockFirst) << b;
    // A cut block has lost its first line's CR LF and label.
    if (blockFirst) {
      EXPECT_EQ(b.find("\r\nPID\t0xA07C") < at, step.wholeBlock) << b;
    }
  }
}

TEST(ChargerSimTest, ProgramOpeningThePathLaterGetsNoStaleBytes) {
  Faults faults;
  faults.textInterval = std::chrono::milliseconds(5);
  ChargerSim sim(profileByName("load115"), faults);
  const std::string path = sim.start();
  {
    SimLine first(path);
    ASSERT_TRUE(first.readUntil([](const std::string& s) { return textBlocks(s).size() >= 1; }));
    first.send(msg({0x01}));  // its reply is never read
    ASSERT_TRUE(sim.waitForRequests(1, test::kSafetyLimit));
  }
  ASSERT_TRUE(sim.waitForProgram(false, test::kSafetyLimit));
  // Blocks made while nobody listened, and the unread reply, are gone: the next program starts
  // with a whole fresh block.
  SimLine second(path);
  ASSERT_TRUE(sim.waitForProgram(true, test::kSafetyLimit));
  ASSERT_TRUE(second.readUntil([](const std::string& s) { return s.size() >= 8; }));
  EXPECT_EQ(second.buffer().rfind("\r\nPID\t", 0), 0u) << second.buffer();
  EXPECT_EQ(second.buffer().find(':'), std::string::npos);
}

TEST(ChargerSimTest, UnknownProfileIsRefused) {
  EXPECT_THROW(profileByName("nonesuch"), std::invalid_argument);
  ChargerSim sim(profileByName("silent"));
  sim.start();
  EXPECT_THROW(sim.start(), std::logic_error);
}

}  // namespace
}  // namespace sim
}  // namespace sunlink
