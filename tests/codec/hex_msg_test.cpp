#include "codec/hex_msg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sunlink {
namespace {

using Bytes = std::vector<std::uint8_t>;

HexMsg message(const Bytes& bytes) {
  HexMsg msg;
  for (std::uint8_t b : bytes) msg.append(b);
  return msg;
}

// Feeds text to a fresh assembler; returns every frame it completed.
std::vector<Bytes> assemble(const std::string& text) {
  HexReceiver receiver;
  std::vector<Bytes> frames;
  for (char c : text) {
    if (receiver.feed(c)) frames.push_back(receiver.frame().bytes());
  }
  return frames;
}

TEST(HexMsgTest, RendersTheRequestsOfTheProtocol) {
  struct Case {
    Bytes bytes;
    std::string text;
  };
  const Case cases[] = {
      {{0x01}, ":154\n"},                                          // ping
      {{0x04}, ":451\n"},                                          // get device id
      {{0x07, 0x00, 0x01, 0x00}, ":70001004D\n"},                  // get register 0x0100
      {{0x08, 0x34, 0x12, 0x00, 0x78, 0x56}, ":8341200785639\n"},  // set 0x1234 to 0x5678
      {{0x0A, 0x60}, ":A60EB\n"},                                  // the checksum wraps below zero
      {{}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(message(c.bytes).toText(), c.text);
}

TEST(HexMsgTest, BuildsLittleEndianFieldsAndHexText) {
  HexMsg msg;
  msg.append(0x08);
  msg.append16(0x1234);
  msg.append(0x00);
  msg.append16(0x5678);
  EXPECT_EQ(msg.toText(), ":8341200785639\n");

  struct Case {
    std::string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {"0A1B", {0x0A, 0x1B}},
      {"0A1", {0x0A}},
      {"0a", {}},
      {"FFx0", {0xFF}},
      {"", {}},
      {"00", {0x00}},
      {"1G23", {}},
      {"ABCDEF09", {0xAB, 0xCD, 0xEF, 0x09}},
  };
  for (const Case& c : cases) {
    HexMsg hex;
    hex.appendHex(c.text);
    EXPECT_EQ(hex.bytes(), c.bytes) << c.text;
  }
}

TEST(HexMsgTest, ReadsFieldsInOrderAndFailsPastTheEnd) {
  HexMsg msg = message({0x07, 0x40, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12, 0x99});
  EXPECT_EQ(msg.read8(), 0x07);
  EXPECT_EQ(msg.read16(), 0x0140);
  EXPECT_EQ(msg.read8(), 0x00);
  EXPECT_EQ(msg.read32(), 0x12345678u);
  EXPECT_TRUE(msg.good());
  EXPECT_EQ(msg.read16(), 0);  // one byte left: too short
  EXPECT_FALSE(msg.good());
  EXPECT_EQ(msg.read8(), 0);  // a failed message stays failed
  EXPECT_FALSE(msg.good());

  msg.rewind();  // no effect while failed
  EXPECT_EQ(msg.readPosition(), 8u);
  msg.clearState();
  msg.rewind();
  EXPECT_EQ(msg.read8(), 0x07);

  // A copy reads from the start; an assignment keeps the source's position.
  HexMsg copy(msg);
  EXPECT_EQ(copy.read8(), 0x07);
  HexMsg assigned;
  assigned = msg;
  EXPECT_EQ(assigned.read16(), 0x0140);
}

TEST(HexMsgTest, ValueStringLeavesOutHeaderNulsAndChecksum) {
  EXPECT_EQ(message({0x07, 0x0A, 0x01, 0x00, 'A', 'B', 0x00, 0xCC}).valueString(), "AB");
  EXPECT_EQ(message({0x07, 0x0A, 0x01, 0x00, 0xCC}).valueString(), "");
  EXPECT_EQ(message({0x07, 0x0A}).valueString(), "");
  EXPECT_EQ(message({0x07, 0x0A, 0x01, 0x00, 'X', 0x00, 'Y', 0xCC}).valueString(), "XY");
}

TEST(HexReceiverTest, AssemblesFramesAndDropsDamagedOnes) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<Bytes> frames;
  };
  const std::string digits200(200, '0');
  const Case cases[] = {
      {"ping reply", ":5094106\n", {{0x05, 0x09, 0x41, 0x06}}},
      {"CR before LF is skipped", ":5094106\r\n", {{0x05, 0x09, 0x41, 0x06}}},
      {"no payload", ":550\n", {{0x05, 0x50}}},
      {"lower-case digits are skipped, the sum fails", ":5094a06\n", {}},
      {"bad checksum", ":5094107\n", {}},
      {"no digits", ":\n", {}},
      {"LF without a frame", "\n", {}},
      {"text before the colon", "V\t12800\r\n:154\n", {{0x01, 0x54}}},
      {"a colon restarts the frame", ":5094:154\n", {{0x01, 0x54}}},
      {"an unpaired last digit does not count", ":1545\n", {{0x01, 0x54}}},
      {"blanks inside are skipped", ": 5 09 41 06\n", {{0x05, 0x09, 0x41, 0x06}}},
      {"two frames", ":154\n:451\n", {{0x01, 0x54}, {0x04, 0x51}}},
      {"stray text after a frame", ":154\nABC\n", {{0x01, 0x54}}},
  };
  for (const Case& c : cases) EXPECT_EQ(assemble(c.text), c.frames) << c.what;
}

TEST(HexReceiverTest, AcceptsOneHundredBytesAfterTheCodeButNotMore) {
  // Code 5 + 99 zero bytes + checksum 0x50: 201 digits after ":".
  const std::string longest = ":5" + std::string(198, '0') + "50\n";
  Bytes expected(101, 0x00);
  expected.front() = 0x05;
  expected.back() = 0x50;
  EXPECT_EQ(assemble(longest), std::vector<Bytes>{expected});

  // One more byte (202 digits or more): abandoned at its first digit, and the rest of the line up
  // to the next ":" is ignored, even a LF that would otherwise end it with a good sum.
  const std::string tooLong = ":5" + std::string(200, '0') + "50\n";
  EXPECT_TRUE(assemble(tooLong).empty());
  const std::string tooLongOneDigit = ":5" + std::string(198, '0') + "505\n";
  EXPECT_TRUE(assemble(tooLongOneDigit).empty());
  EXPECT_EQ(assemble(tooLong + ":154\n"), std::vector<Bytes>{Bytes({0x01, 0x54})});
}

TEST(HexReceiverTest, ReadsTheVersionWordOnlyWhenPresent) {
  HexReceiver receiver;
  bool done = false;
  for (char c : std::string(":5094106\n")) done = receiver.feed(c);
  ASSERT_TRUE(done);
  HexMsg reply = receiver.frame();
  EXPECT_EQ(reply.read8(), 0x05);
  EXPECT_EQ(reply.read16(), 0x4109);
  EXPECT_TRUE(reply.good());

  for (char c : std::string(":550\n")) done = receiver.feed(c);
  ASSERT_TRUE(done);
  HexMsg empty = receiver.frame();
  EXPECT_EQ(empty.read8(), 0x05);
  empty.read16();
  EXPECT_FALSE(empty.good());
}

}  // namespace
}  // namespace sunlink
