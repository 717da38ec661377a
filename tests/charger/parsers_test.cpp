// Typed text to numbers: the tolerance rules, the ranges and the refusal message.

#include "charger/parsers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "charger/setters.h"
#include "model_fixture.h"

namespace sunlink {
namespace {

using test::makeCapabilities;
using test::TestModel;

// What a parser says of text that is no number.
const std::vector<std::string> kRefusal = {"Unable to interpret value"};
const std::vector<std::string> kNone;

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
  for (const auto& c : std::vector<std::pair<const char*, double>>{
           {"20", 17.4}, {"5", 9.0}, {"13,8V", 13.8}, {"14.4 V", 14.4}}) {
    const Reading<double> read = twelve.setters.parseVoltage(c.first, 0);
    EXPECT_DOUBLE_EQ(read.value, c.second);
    EXPECT_EQ(read.complaints, kNone);
  }

  TestModel twentyFour(makeCapabilities(0));
  twentyFour.value("battery_voltage") = "18";
  EXPECT_DOUBLE_EQ(twentyFour.setters.parseVoltage("20", 0).value, 20.0);
  EXPECT_DOUBLE_EQ(twentyFour.setters.parseVoltage("40", 0).value, 34.8);
}

TEST(ParseVoltage, UnreadableTextGivesTheDefaultAndTheMessage) {
  for (const char* text : {"V13.8", "+13.8", "", " 13.8", "abc", "13.8.1"}) {
    TestModel t(makeCapabilities(0));
    const Reading<double> read = t.setters.parseVoltage(text, 7.5);
    EXPECT_EQ(read.value, 7.5) << text;
    EXPECT_EQ(read.complaints, kRefusal) << text;
  }
}

TEST(ParsePanelVoltage, AtMostTheChargersPanelRating) {
  const double rating = 75.0;
  EXPECT_DOUBLE_EQ(parsePanelVoltage("100", 0, rating).value, 75.0);
  EXPECT_DOUBLE_EQ(parsePanelVoltage("0.5", 0, rating).value, 0.5);
  EXPECT_EQ(parsePanelVoltage("0.5", 0, rating).complaints, kNone);
  const Reading<double> unreadable = parsePanelVoltage("x", 3, rating);
  EXPECT_DOUBLE_EQ(unreadable.value, 3.0);
  EXPECT_EQ(unreadable.complaints, kRefusal);
}

TEST(ParsePanelVoltage, NegativeLevelIsRefusedNotAHugeRegisterValue) {
  const Reading<double> negative = parsePanelVoltage("-5", 9, 75.0);
  EXPECT_EQ(negative.value, 9.0);
  EXPECT_EQ(negative.complaints, kRefusal);
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
    const Parsed<double> parsed = t.setters.parseTemperatureCompensation(c.text);
    EXPECT_EQ(parsed.value, c.expected);
    EXPECT_EQ(parsed.refusal.empty(), c.expected.has_value()) << parsed.refusal;
  }
}

TEST(ParseCurrent, FromATenthOfAnAmpereToTheChargersRating) {
  TestModel t(makeCapabilities(0));  // rated 15 A
  const std::pair<const char*, Parsed<double>> cases[] = {
      {"15", {15.0, ""}},
      {"0.1", {0.1, ""}},
      {"7,5A", {7.5, ""}},
      {"65535", {std::nullopt, "current limit must be between 0.1 and 15.0 A, not 65535 A"}},
      {"0.05", {std::nullopt, "current limit must be between 0.1 and 15.0 A, not 0.05 A"}},
      {"A", {std::nullopt, "Unable to interpret value"}},
  };
  for (const auto& c : cases) {
    const Parsed<double> parsed = t.setters.parseCurrent(c.first);
    EXPECT_EQ(parsed.value, c.second.value) << c.first;
    EXPECT_EQ(parsed.refusal, c.second.refusal) << c.first;
  }
}

TEST(ParseSmallInt, TruncatesTowardZeroThenClamps) {
  EXPECT_EQ(parseSmallInt("-2.7", 5, -1440, 1440).value, -2);
  EXPECT_EQ(parseSmallInt("2.7min", 5, -1440, 1440).value, 2);
  EXPECT_EQ(parseSmallInt("1500", 5, -1440, 1440).value, 1440);
  EXPECT_EQ(parseSmallInt("-99999999", 5, 0, 500).value, 0);
  EXPECT_EQ(parseSmallInt("-99999999", 5, 0, 500).complaints, kNone);
  const Reading<std::int16_t> unreadable = parseSmallInt("x", 5, 0, 500);
  EXPECT_EQ(unreadable.value, 5);
  EXPECT_EQ(unreadable.complaints, kRefusal);
}

TEST(ParseDuration, HoursAndMinutesIntoMinutes) {
  struct Case {
    const char* text;
    double maxHours;
    std::uint16_t minutes;
    std::vector<std::string> complaints;
  };
  const std::vector<Case> cases = {
      {"6", 24, 360, kNone},       {"6.5", 24, 390, kNone},
      {"6:30", 24, 390, kNone},    {"6,5h", 24, 390, kNone},
      {"30", 24, 1440, kNone},     {"-3", 24, 0, kNone},
      {"0:45", 1, 45, kNone},      {"abc", 24, 0, kRefusal},
      {":30", 24, 0, kRefusal},     // no hours before the colon
      {"6:xx", 24, 360, kRefusal},  // minutes unreadable, hours kept
      {"", 15, 0, kRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Reading<std::uint16_t> read = parseDuration(c.text, c.maxHours);
    EXPECT_EQ(read.value, c.minutes);
    EXPECT_EQ(read.complaints, c.complaints);
  }
}

TEST(ParseDuration, DecimalHoursDoNotLoseAMinuteToBinaryRounding) {
  // 4.1 × 60 is 245.99999999999997 in binary floating point.
  EXPECT_EQ(parseDuration("4.1", 24).value, 246);
  EXPECT_EQ(parseDuration("2.05", 24).value, 123);
  EXPECT_EQ(parseDuration("16,9", 24).value, 1014);
  EXPECT_EQ(parseDuration("0.35", 24).value, 21);
  EXPECT_EQ(parseDuration("0.7", 24).value, 42);
  EXPECT_EQ(parseDuration("2.01", 24).value, 120);  // 120.6 minutes: a real fraction
  EXPECT_EQ(parseHours("6:30", 24).value, 6.5);
}

TEST(ParseDuration, NegativeMinutesDoNotWrapToAHugeDuration) {
  EXPECT_EQ(parseDuration("0:-30", 24).value, 0);
  EXPECT_EQ(parseDuration("1:-30", 24).value, 30);
}

TEST(ParsePercent, EmptyAnswerSilentlyKeepsTheDefault) {
  struct Case {
    const char* text;
    std::uint8_t expected;
    std::vector<std::string> complaints;
  };
  const std::vector<Case> cases = {
      {"", 40, kNone},     {" 50", 40, kNone},  {"%", 40, kNone},
      {"55.9", 55, kNone}, {"150", 100, kNone}, {"-5", 0, kNone},
      {"50%", 50, kNone},  {"-", 40, kRefusal}, {"1.2.3", 40, kRefusal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Reading<std::uint8_t> read = parsePercent(c.text, 40);
    EXPECT_EQ(read.value, c.expected);
    EXPECT_EQ(read.complaints, c.complaints);
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
