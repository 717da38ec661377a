// Live values of TEXT blocks: what a watch shows for the pairs a charger sends.
#include "codec/live_values.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace sunlink {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The record in one line: identity, then each field present as label=number in the charger's
// units, then the unknown labels as other:label=value.
std::string describe(const LiveValues& v) {
  std::string out;
  const auto add = [&out](const std::string& item) { out += (out.empty() ? "" : " ") + item; };
  if (v.productId) add("PID=" + std::to_string(*v.productId));
  if (v.firmware) add("FW=" + *v.firmware);
  if (v.serial) add("SER#=" + *v.serial);
  for (const LiveFieldInfo& info : liveFields()) {
    if (v[info.field]) add(std::string(info.label) + "=" + std::to_string(*v[info.field]));
  }
  for (const auto& pair : v.other) add("other:" + pair.first + "=" + pair.second);
  return out;
}

// Feeds the blocks' pairs, each block closed by its Checksum pair, and describes the record of
// each block.
std::vector<std::string> decode(const std::vector<Pairs>& blocks) {
  LiveDecoder decoder;
  std::vector<std::string> records;
  for (const Pairs& block : blocks) {
    for (const auto& pair : block) EXPECT_FALSE(decoder.feed(pair.first, pair.second));
    EXPECT_TRUE(decoder.feed("Checksum", "\x9A"));
    records.push_back(describe(decoder.values()));
  }
  return records;
}

TEST(LiveValuesTest, DecodesEachBlockIntoItsRecord) {
  const Pairs fullBlock = {
      {"PID", "0xA042"},    {"FW", "115"},    {"SER#", "HQ1234ABCDE"},
      {"V", "13280"},       {"I", "-2450"},   {"VPV", "18100"},
      {"PPV", "32"},        {"CS", "3"},      {"MPPT", "2"},
      {"OR", "0x00000000"}, {"ERR", "0"},     {"LOAD", "ON"},
      {"IL", "300"},        {"Relay", "off"}, {"H19", "1234"},
      {"H20", "12"},        {"H21", "45"},    {"H22", "34"},
      {"H23", "60"},        {"HSDS", "12"},
  };
  const std::string fullRecord =
      "PID=41026 FW=115 SER#=HQ1234ABCDE V=13280 I=-2450 VPV=18100 PPV=32 LOAD=1 IL=300 Relay=0 "
      "CS=3 MPPT=2 ERR=0 OR=0 H19=1234 H20=12 H22=34 H21=45 H23=60 HSDS=12";
  const struct {
    const char* name;
    std::vector<Pairs> blocks;
    std::vector<std::string> records;
  } cases[] = {
      {"every label the program knows", {fullBlock}, {fullRecord}},
      {"a charger without load output or relay", {{{"V", "12760"}, {"CS", "5"}}}, {"V=12760 CS=5"}},
      {"unknown labels kept in block order, one per label",
       {{{"SOC", "874"}, {"V", "12710"}, {"TTG", "-1"}, {"SOC", "875"}, {"Alarm", "OFF"}}},
       {"V=12710 other:SOC=875 other:TTG=-1 other:Alarm=OFF"}},
      {"labels are matched as the charger spells them",
       {{{"v", "12760"}, {"RELAY", "ON"}}},
       {"other:v=12760 other:RELAY=ON"}},
      {"the later of two values counts, an unreadable one too",
       {{{"V", "garbage"}, {"V", "12800"}, {"I", "100"}, {"I", "1.5"}}},
       {"V=12800"}},
      {"nothing carries over into the next block",
       {fullBlock, {{"V", "12000"}, {"SOC", "874"}}, {}},
       {fullRecord, "V=12000 other:SOC=874", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.blocks), c.records) << c.name;
}

TEST(LiveValuesTest, ValuesThatAreNoNumberTheLabelHoldsAreAbsent) {
  const struct {
    const char* label;
    std::string value;
    const char* record;  // what the record holds after this pair alone
  } cases[] = {
      {"V", "12a", ""},
      {"V", " 12760", ""},
      {"V", "12760 ", ""},
      {"V", "", ""},
      {"V", "-5", ""},  // a battery voltage has no sign
      {"V", "4294967295", "V=4294967295"},
      {"V", "4294967296", ""},  // past 32 bits
      {"V", "99999999999999999999999", ""},
      {"I", "+5", ""},
      {"I", "-2147483648", "I=-2147483648"},
      {"I", "-2147483649", ""},
      {"I", "-", ""},
      {"CS", "3.0", ""},
      {"HSDS", "1e3", ""},
      {"PPV", "0x20", ""},  // decimal labels take no hex
      {"OR", "0x00000101", "OR=257"},
      {"OR", "0X1", "OR=1"},
      {"OR", "1", ""},  // a mask is written in hex
      {"OR", "0x", ""},
      {"OR", "0x100000000", ""},
      {"LOAD", "off", "LOAD=0"},
      {"LOAD", "1", ""},
      {"Relay", "ONE", ""},
      {"PID", "0xA042", "PID=41026"},
      {"PID", "A042", ""},
      {"PID", "0x1A042", ""},  // product ids have 16 bits
      {"PID", "0x????", ""},
      {"FW", "", ""},
      {"SER#", "HQ\x1B[2J", "SER#=HQ\x1B[2J"},  // texts as sent; the forms escape them
  };
  for (const auto& c : cases) {
    LiveDecoder decoder;
    decoder.feed(c.label, c.value);
    decoder.feed("Checksum", "x");
    EXPECT_EQ(describe(decoder.values()), c.record) << c.label << " \"" << c.value << "\"";
  }
}

TEST(LiveValuesTest, CodesAndValuesReadInWordsAndUnits) {
  const struct {
    std::string shown;
    std::string expected;
  } cases[] = {
      {stateName(0), "off"},
      {stateName(3), "bulk"},
      {stateName(5), "float"},
      {stateName(245), "starting up"},
      {stateName(252), "external control"},
      {stateName(1), "state 1"},
      {trackerName(1), "voltage or current limited"},
      {trackerName(2), "MPP tracker active"},
      {trackerName(3), "tracker 3"},
      {errorName(0), "none"},
      {errorName(38), "input shutdown (battery voltage too high)"},
      {errorName(119), "user settings invalid"},
      {errorName(99), "error 99"},
      {offReasonName(0), "none"},
      {offReasonName(0x1), "no input power"},
      {offReasonName(0x109), "no input power, remote input, analysing input voltage"},
      {offReasonName(0x20), "0x20"},  // a bit without a name
      {offReasonName(0x80000041), "no input power, BMS, 0x80000000"},
      {liveValueText(LiveField::batteryV, 13280), "13.28"},
      {liveValueText(LiveField::batteryV, 13285), "13.285"},
      {liveValueText(LiveField::panelV, 18100), "18.10"},
      {liveValueText(LiveField::batteryV, 5), "0.005"},
      {liveValueText(LiveField::batteryA, -2450), "-2.45"},
      {liveValueText(LiveField::batteryA, -5), "-0.005"},
      {liveValueText(LiveField::batteryA, -2147483648LL), "-2147483.648"},
      {liveValueText(LiveField::yieldToday, 12), "0.12"},
      {liveValueText(LiveField::yieldTotal, 123456), "1234.56"},
      {liveValueText(LiveField::panelW, 32), "32"},
      {liveValueText(LiveField::load, 1), "on"},
      {liveValueText(LiveField::relay, 0), "off"},
      {liveValueText(LiveField::state, 4), "absorption"},
      {liveValueText(LiveField::error, 2), "battery voltage too high"},
      {liveValueText(LiveField::offReason, 0x2), "switched off by its power switch"},
      {firmwareText("115"), "1.15"},
      {firmwareText("1161"), "11.61"},
      {firmwareText("15"), "15"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shown, c.expected);
  // Exact in JSON too: the nearest double to the decimal value.
  EXPECT_EQ(liveValueNumber(LiveField::batteryV, 13280), 13.28);
  EXPECT_EQ(liveValueNumber(LiveField::yieldToday, 12), 0.12);
  EXPECT_EQ(liveValueNumber(LiveField::state, 3), 3.0);
}

}  // namespace
}  // namespace sunlink
