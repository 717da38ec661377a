// Typed text to numbers: the tolerance rules, the ranges and the refusal message.

#include "charger/parsers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;
using test::TestModel;

const char kRefusal[] = "Unable to interpret value\n\n";

TEST(PrepareNumberText, CommaBecomesPointAndTheTextEndsAtTheFirstStopCharacter) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"13,8V", "13.8"}, {"14.4 V", "14.4"}, {"14.4V", "14.4"}, {"1,2,3", "1.2"},
      {" 14", ""},       {"V13.8", ""},      {"+13.8", ""},     {"6:30", "6"},
      {"-5", "-5"},      {"12.5%", "12.5"},  {"7\t", "7\t"},    {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(prepareNumberText(c.first), c.second) << c.first;
  EXPECT_EQ(std::strlen(numberStopChars), 77u);
  EXPECT_EQ(std::string(numberStopChars).find_first_of("0123456789.-"), std::string::npos);
}

TEST(ConvertNumber, OnlyPlainDecimalNotationConverts) {
  const std::vector<std::pair<std::string, std::optional<double>>> cases = {
      {"14", 14.0},          {"-0.5", -0.5},        {"13.8", 13.8},
      {"", std::nullopt},    {".", std::nullopt},   {"1.2.3", std::nullopt},
      {"14-", std::nullopt}, {"7\t", std::nullopt}, {"1e3", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(convertNumber(c.first), c.second) << c.first;
}

// What the command line and the main menu's setting keys accept: nothing after the number but
// blanks and the setting's unit.
TEST(ConvertSettingNumber, ANumberAndOptionallyTheUnitNothingElse) {
  const std::vector<std::pair<std::string, std::optional<double>>> cases = {
      {"14,4", 14.4},           {"14.4V", 14.4},
      {"13,8 V", 13.8},         {"13.8v", 13.8},
      {"14.4 ", 14.4},          {"-16.2 mV/K", -16.2},
      {"1,2,3", std::nullopt},  {"1,2.3", std::nullopt},
      {"2.5e1", std::nullopt},  {"1e9", std::nullopt},
      {"12.5%", std::nullopt},  {" 14", std::nullopt},
      {"V", std::nullopt},      {"+13.8", std::nullopt},
      {"14.4VV", std::nullopt}, {"14.4 V x", std::nullopt},
      {"14 .4", std::nullopt},  {"", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::string unit = c.first.find("mV") != std::string::npos ? "mV/K" : "V";
    EXPECT_EQ(convertSettingNumber(c.first, unit), c.second) << c.first;
  }
}

TEST(ConvertHoursText, HoursOrHoursAndMinutesInMinutes) {
  const std::vector<std::pair<std::string, std::optional<long>>> cases = {
      {"6", 360},
      {"6.5", 390},
      {"6,5 h", 390},
      {"6:30", 390},
      {"0:05", 5},
      {"24:00", 1440},
      {"24:30", 1470},
      {"-3", -180},
      {"7:", std::nullopt},
      {"6:-5", std::nullopt},
      {"6:60", std::nullopt},
      {std::string(400, '9'), std::nullopt},  // more hours than minutes can count
      {":30", std::nullopt},
      {"6:300", std::nullopt},
      {"6.5:30", std::nullopt},
      {"1:2:3", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(convertHoursText(c.first), c.second) << c.first;
}

TEST(ConvertWholeInteger, SignAndDigitsOnly) {
  const std::vector<std::pair<std::string, std::optional<int>>> cases = {
      {"2", 2},
      {"+5", 5},
      {"-3", -3},
      {"250", 250},
      {"2 ", std::nullopt},
      {" 2", std::nullopt},
      {"2V", std::nullopt},
      {"", std::nullopt},

      {"99999999999", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(convertWholeInteger(c.first), c.second) << c.first;
}

TEST(ParseVoltage, ClampsToThreeQuartersAndOneAndAHalfOfTheSystemVoltage) {
  TestModel twelve(makeCapabilities(0));
  EXPECT_DOUBLE_EQ(twelve.model.parseVoltage("20", 0), 17.4);
  EXPECT_DOUBLE_EQ(twelve.model.parseVoltage("5", 0), 9.0);
  EXPECT_DOUBLE_EQ(twelve.model.parseVoltage("13,8V", 0), 13.8);
  EXPECT_DOUBLE_EQ(twelve.model.parseVoltage("14.4 V", 0), 14.4);
  EXPECT_EQ(twelve.err.str(), "");

  TestModel twentyFour(makeCapabilities(0));
  twentyFour.value("battery_voltage") = "18";
  EXPECT_DOUBLE_EQ(twentyFour.model.parseVoltage("20", 0), 20.0);
  EXPECT_DOUBLE_EQ(twentyFour.model.parseVoltage("40", 0), 34.8);
}

TEST(ParseVoltage, UnreadableTextGivesTheDefaultAndTheMessage) {
  for (const char* text : {"V13.8", "+13.8", "", " 13.8", "abc", "13.8.1"}) {
    TestModel t(makeCapabilities(0));
    EXPECT_EQ(t.model.parseVoltage(text, 7.5), 7.5) << text;
    EXPECT_EQ(t.err.str(), kRefusal) << text;
    EXPECT_EQ(t.out.str(), "");
  }
}

TEST(ParsePanelVoltage, AtMostTheChargersPanelRating) {
  TestModel t(makeCapabilities(0));  // 75 V panel rating
  EXPECT_DOUBLE_EQ(t.model.parsePanelVoltage("100", 0), 75.0);
  EXPECT_DOUBLE_EQ(t.model.parsePanelVoltage("0.5", 0), 0.5);
  EXPECT_DOUBLE_EQ(t.model.parsePanelVoltage("x", 3), 3.0);
  EXPECT_EQ(t.err.str(), kRefusal);
}

TEST(ParsePanelVoltage, NegativeLevelIsRefusedNotAHugeRegisterValue) {
  TestModel t(makeCapabilities(0));
  EXPECT_EQ(t.model.parsePanelVoltage("-5", 9), 9.0);
  EXPECT_EQ(t.err.str(), kRefusal);
}

// Refused outside the range, not clamped into it.
TEST(ParseTemperatureCompensation, RangeDependsOnFirmwareAndSystemVoltage) {
  struct Case {
    std::uint16_t firmware;
    const char* batteryVoltage;
    const char* text;
    std::optional<double> expected;
  };
  const std::vector<Case> cases = {
      {0x116, "0C", "-21", -21.0},      {0x116, "0C", "21", 21.0},
      {0x116, "0C", "-16.2", -16.2},    {0x116, "0C", "-30", std::nullopt},
      {0x116, "18", "-42", -42.0},      {0x116, "18", "-50", std::nullopt},
      {0x117, "0C", "-30", -30.0},      {0x117, "0C", "-40", std::nullopt},
      {0x117, "0C", "5", std::nullopt}, {0x117, "30", "-120", -120.0},
      {0x116, "0C", "0", 0.0},          {0x116, "0C", "cold", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TestModel t(makeCapabilities(0, c.firmware));
    t.value("battery_voltage") = c.batteryVoltage;
    EXPECT_EQ(t.model.parseTemperatureCompensation(c.text), c.expected);
    EXPECT_EQ(t.err.str().empty(), c.expected.has_value()) << t.err.str();
  }
}

TEST(ParseCurrent, FromATenthOfAnAmpereToTheChargersRating) {
  TestModel t(makeCapabilities(0));  // rated 15 A
  EXPECT_EQ(t.model.parseCurrent("15"), 15.0);
  EXPECT_EQ(t.model.parseCurrent("0.1"), 0.1);
  EXPECT_EQ(t.model.parseCurrent("7,5A"), 7.5);
  EXPECT_EQ(t.err.str(), "");
  EXPECT_EQ(t.model.parseCurrent("65535"), std::nullopt);
  EXPECT_EQ(t.model.parseCurrent("0.05"), std::nullopt);
  EXPECT_EQ(t.model.parseCurrent("A"), std::nullopt);
  EXPECT_EQ(t.err.str(),
            "current limit must be between 0.1 and 15.0 A, not 65535 A\n\n"
            "current limit must be between 0.1 and 15.0 A, not 0.05 A\n\n" +
                std::string(kRefusal));
}

TEST(ParseSmallInt, TruncatesTowardZeroThenClamps) {
  TestModel t(makeCapabilities(0));
  EXPECT_EQ(t.model.parseSmallInt("-2.7", 5, -1440, 1440), -2);
  EXPECT_EQ(t.model.parseSmallInt("2.7min", 5, -1440, 1440), 2);
  EXPECT_EQ(t.model.parseSmallInt("1500", 5, -1440, 1440), 1440);
  EXPECT_EQ(t.model.parseSmallInt("-99999999", 5, 0, 500), 0);
  EXPECT_EQ(t.err.str(), "");
  EXPECT_EQ(t.model.parseSmallInt("x", 5, 0, 500), 5);
  EXPECT_EQ(t.err.str(), kRefusal);
}

TEST(ParseDuration, HoursAndMinutesIntoMinutes) {
  struct Case {
    const char* text;
    double maxHours;
    std::uint16_t minutes;
    const char* err;
  };
  const std::vector<Case> cases = {
      {"6", 24, 360, ""},          {"6.5", 24, 390, ""},
      {"6:30", 24, 390, ""},       {"6,5h", 24, 390, ""},
      {"30", 24, 1440, ""},        {"-3", 24, 0, ""},
      {"0:45", 1, 45, ""},         {"abc", 24, 0, kRefusal},
      {":30", 24, 0, kRefusal},     // no hours before the colon
      {"6:xx", 24, 360, kRefusal},  // minutes unreadable, hours kept
      {"", 15, 0, kRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TestModel t(makeCapabilities(0));
    EXPECT_EQ(t.model.parseDuration(c.text, c.maxHours), c.minutes);
    EXPECT_EQ(t.err.str(), c.err);
  }
}

TEST(ParseDuration, DecimalHoursDoNotLoseAMinuteToBinaryRounding) {
  TestModel t(makeCapabilities(0));
  // 4.1 × 60 is 245.99999999999997 in binary floating point.
  EXPECT_EQ(t.model.parseDuration("4.1", 24), 246);
  EXPECT_EQ(t.model.parseDuration("2.05", 24), 123);
  EXPECT_EQ(t.model.parseDuration("16,9", 24), 1014);
  EXPECT_EQ(t.model.parseDuration("0.35", 24), 21);
  EXPECT_EQ(t.model.parseDuration("0.7", 24), 42);
  EXPECT_EQ(t.model.parseDuration("2.01", 24), 120);  // 120.6 minutes: a real fraction
  EXPECT_EQ(t.model.parseHours("6:30", 24), 6.5);
}

TEST(ParseDuration, NegativeMinutesDoNotWrapToAHugeDuration) {
  TestModel t(makeCapabilities(0));
  EXPECT_EQ(t.model.parseDuration("0:-30", 24), 0);
  EXPECT_EQ(t.model.parseDuration("1:-30", 24), 30);
}

TEST(ParsePercent, EmptyAnswerSilentlyKeepsTheDefault) {
  struct Case {
    const char* text;
    std::uint8_t expected;
    const char* err;
  };
  const std::vector<Case> cases = {
      {"", 40, ""},     {" 50", 40, ""},     {"%", 40, ""},
      {"55.9", 55, ""}, {"150", 100, ""},    {"-5", 0, ""},
      {"50%", 50, ""},  {"-", 40, kRefusal}, {"1.2.3", 40, kRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TestModel t(makeCapabilities(0));
    EXPECT_EQ(t.model.parsePercent(c.text, 40), c.expected);
    EXPECT_EQ(t.err.str(), c.err);
  }
}

TEST(SystemVoltage, FromTheChargerOrJudgedByTheChargeVoltages) {
  struct Case {
    const char* batteryVoltage;
    const char* absorption;
    const char* floatVoltage;
    int expected;
  };
  const std::vector<Case> cases = {
      {"0C", "0B40", "0AC8", 12},  // the charger's word wins
      {"24", "05A0", "0564", 36}, {"00", "05A0", "0564", 12},
      {"00", "0B40", "0564", 24},  // absorption 28.80 V
      {"00", "05A0", "06D7", 24},  // float 17.51 V
      {"00", "06D6", "06D6", 12},  // 17.50 V is still 12 V
      {"00", "1680", "0564", 48},  // absorption 57.60 V
      {"", "", "", 12},            // nothing read yet
  };
  for (const Case& c : cases) {
    TestModel t(makeCapabilities(0));
    t.value("battery_voltage") = c.batteryVoltage;
    t.value("absorption_voltage") = c.absorption;
    t.value("float_voltage") = c.floatVoltage;
    EXPECT_EQ(t.model.systemVoltage(), c.expected) << c.batteryVoltage << " " << c.absorption;
  }
}

}  // namespace
}  // namespace sunlink
