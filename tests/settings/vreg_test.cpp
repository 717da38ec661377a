#include "settings/vreg.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/log_capture.h"

namespace sunlink {
namespace {

using test::LogCapture;

Vreg withValue(const std::string& value, double scale = 1.0) {
  Vreg v("x", 0xEDF7, REG_NONE, scale);
  v.value = value;
  return v;
}

TEST(VregTest, HexToBytesTakesPairsFromTheEnd) {
  struct Case {
    std::string value;
    int n;
    std::uint32_t bytes;
  };
  const Case cases[] = {
      {"0564", 2, 0x0564},
      {"0564", 4, 0x00000564},
      {"0564", 1, 0x64},
      {"00002506", 4, 0x2506},
      {"12345678", 2, 0x5678},
      {"EC", 2, 0x00EC},
      {"", 4, 0},
      {"564", 2, 0x0564},   // an odd leading digit is the top byte alone
      {"05a0", 2, 0x05A0},  // hand-written lower case reads the same
      {"05G4", 2, 0x0500},  // a pair counts its digits up to an unfit character
      {"4g", 1, 0x04},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(withValue(c.value).hexToBytes(c.n), c.bytes) << c.value << " n=" << c.n;
  }
}

TEST(VregTest, SettersWriteTheirWidth) {
  Vreg v = withValue("0564");
  v.setU8(0x0C);
  EXPECT_EQ(v.value, "0C");
  v.setU16(0x05A0);
  EXPECT_EQ(v.value, "05A0");
  v.setU32(0x2506);
  EXPECT_EQ(v.value, "00002506");
  EXPECT_EQ(v.getU32(), 0x2506u);
  EXPECT_EQ(v.getU16(), 0x2506u);
  EXPECT_EQ(v.getU8(), 0x06u);
  v.bytesToHex(0xA1B2C3, 3);
  EXPECT_EQ(v.value, "A1B2C3");
}

TEST(VregTest, GetNumberReadsByWidthAndScale) {
  struct Case {
    std::string value;
    double scale;
    double number;
  };
  const Case cases[] = {
      {"FFEC", 100.0, -0.2},          // 16-bit values are signed
      {"EC", 1.0, 236.0},             // one byte is unsigned
      {"FFFFFFFF", 1.0, 4294967295},  // four bytes are unsigned
      {"0564", 100.0, 13.8},
      {"", 1.0, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(withValue(c.value, c.scale).getNumber(), c.number) << c.value;
  }
}

// The typed 14.35 V used to be stored as 14.34 V: 14.35 * 100 is 1434.999... in binary.
TEST(VregTest, SetNumberKeepsTheTypedDecimalDigits) {
  struct Case {
    std::string before;
    double scale;
    double x;
    std::string after;
  };
  const Case cases[] = {
      {"0000", 100.0, 14.35, "059B"},   // 1435, not 1434
      {"0000", 100.0, 17.4, "06CC"},    // the 145 % clamp of a 12 V system: 1740, not 1739
      {"0000", 60.0, 0.35, "0015"},     // 0.35 hours: 21 minutes, not 20
      {"0000", 100.0, 14.355, "059B"},  // still truncated, not rounded
      {"0000", 100.0, 14.4, "05A0"},
      {"0000", 100.0, 13.8, "0564"},
      {"0000", 100.0, 0.7, "0046"},
      {"0000", 100.0, -0.25, "FFE7"},   // -25, two's complement
      {"0000", 100.0, -0.255, "FFE7"},  // toward zero
      {"", 1.0, 5.0, "0005"},           // no value yet: two bytes
      {"00", 1.0, 300.0, "2C"},         // the width of the value text decides
      {"00000000", 1.0, -1.0, "FFFFFFFF"},
      {"00000000", 10.0, 70000.5, "000AAE65"},
      {"0000", 1.0, 1e300, "FFFF"},  // saturates instead of overflowing
      {"0000", 1.0, std::nan(""), "0000"},
  };
  for (const Case& c : cases) {
    Vreg v = withValue(c.before, c.scale);
    v.setNumber(c.x);
    EXPECT_EQ(v.value, c.after) << c.x << " at scale " << c.scale;
  }
}

TEST(VregTest, NormaliseValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"0x0019", "0019"},
      {"1", "01"},
      {"300", "012C"},
      {"0x40000", "40000"},  // kept as written: not padded
      {"0X10", "00"},        // upper-case X is not the prefix: decimal 0
      {"", "00"},
      {"abc", "00"},
      {"-5", "00"},
      {"255", "FF"},
      {"256", "0100"},
      {"65536", "00010000"},
      {"99999999999", "FFFFFFFF"},  // wider than any register: saturates
      {"0x05a0", "05A0"},           // held in upper case, as the charger answers it
      {"0x", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(normaliseValue(c.first), c.second) << c.first;
}

TEST(VregTest, ReadNumberAsStrtoulWithA32BitResult) {
  struct Case {
    const char* text;
    int base;
    std::uint32_t number;
  };
  const Case cases[] = {
      {"0xee7f", 0, 0xEE7F},
      {"EE7Fzz", 16, 0xEE7F},
      {"0XEE7F", 16, 0xEE7F},
      {"0x1FFFFFFFF", 0, 0xFFFFFFFF},  // saturates
      {"-0x10", 0, 0xFFFFFFF0},
      {"0789", 0, 7},
      {" \t42", 10, 42},
      {"4294967295", 10, 0xFFFFFFFF},
      {"4294967296", 10, 0xFFFFFFFF},
      {"+12", 10, 12},
      {"-", 10, 0},
      {"0xg", 16, 0},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readNumber(c.text, c.base), c.number) << '"' << c.text << "\" base " << c.base;
  }
}

TEST(VregTest, ParseRegisterIdReadsHexOrDecimalDigits) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0xEE7F", 0xEE7F},           {"0xee7f", 0xEE7F}, {"61311", 61311}, {"12ab", 12},
      {"0x1000000000", 0xFFFFFFFF}, {"abc", 0},         {"0x", 0},        {"-1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(parseRegisterId(c.first), c.second) << c.first;
}

TEST(VregTest, ParseVersionForms) {
  const std::pair<std::string, std::int32_t> good[] = {
      {"1.16", 0x116}, {"1 16", 0x116}, {"1..16", 0x116}, {"1\t16", 0x116}, {"1V16", 0x116},
      {"3.00", 0x300}, {"1.FF", 0x1FF}, {"", 0},          {"0", 0},
  };
  const std::string bad[] = {"v1.16", "1.16.0", "1.100", "116", "1.16v"};
  LogCapture log;
  for (const auto& c : good) EXPECT_EQ(parseVersion(c.first), c.second) << c.first;
  EXPECT_TRUE(log.lines().empty());
  for (const std::string& text : bad) {
    log.reset();
    EXPECT_EQ(parseVersion(text), -1) << text;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"ERR.settings: The version string \"" + text +
                                                    "\" is formatted incorrectly"});
  }
}

TEST(VregTest, MatchProductIds) {
  struct Case {
    std::uint16_t id;
    std::string text;
    bool match;
  };
  const Case cases[] = {
      {0xA04B, "0xA040:0xA041,0xA044:0xA04B", true},
      {0xA043, "0xA040:0xA041,0xA044:0xA04B", false},
      {0xA040, "0xA040:0xA041,0xA044:0xA04B", true},
      {0x0300, "768", true},   // decimal
      {0x00C0, "0300", true},  // a leading 0 is octal
      {0x0300, "0300", false},
      {0xA042, "0xA042,,0xA043", true},
      {0xA043, "0xA042,,0xA043", true},
      {0xA043, " 0xA043", true},  // leading blanks
      {0x0300, "0x10300", true},  // compared as 16-bit numbers
      {0xA042, "", false},
      {0x0000, "", true},  // one empty field reads as 0
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchProductIds(c.id, c.text), c.match) << std::hex << c.id << " in " << c.text;
  }
}

TEST(VregTest, ConditionsHoldWhenEveryMaskBitIsRecorded) {
  Vreg v("has_alt_rx_function", REG_NONE, REG_NONE, 1.0);
  std::map<std::string, std::string> groups;
  EXPECT_TRUE(conditionsHold(v, groups));

  v.conditions["caps"] = "40000";
  EXPECT_FALSE(conditionsHold(v, groups));  // nothing recorded yet
  groups["caps"] = "00042506";
  EXPECT_TRUE(conditionsHold(v, groups));
  groups["caps"] = "2506";
  EXPECT_FALSE(conditionsHold(v, groups));

  v.conditions["caps"] = "0005";
  groups["caps"] = "1E05";
  EXPECT_TRUE(conditionsHold(v, groups));
  v.conditions["is_mppt"] = "01";
  EXPECT_FALSE(conditionsHold(v, groups));
  groups["is_mppt"] = "01";
  EXPECT_TRUE(conditionsHold(v, groups));
  groups["caps"] = "1E04";
  EXPECT_FALSE(conditionsHold(v, groups));
}

TEST(VregTest, ReverseBytePairs) {
  const std::pair<std::string, std::string> cases[] = {
      {"0564", "6405"}, {"00002506", "06250000"}, {"0C", "0C"}, {"", ""}, {"5A0", "A005"},
  };
  for (const auto& c : cases) EXPECT_EQ(reverseBytePairs(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace sunlink
