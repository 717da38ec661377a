// Durations and street-light timer events as the printout and the menus show them.

#include "charger/value_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace sunlink {
namespace {

std::string hoursMinutes(long minutes) {
  std::ostringstream out;
  printHoursMinutes(out, minutes);
  return out.str();
}

TEST(PrintHoursMinutes, TwoDigitsEachAndDashesBeyondADay) {
  const std::vector<std::pair<long, std::string>> cases = {
      {0, "00:00"},    {5, "00:05"},    {390, "06:30"},   {1439, "23:59"},
      {1440, "24:00"}, {1441, "--:--"}, {65535, "--:--"}, {-1, "--:--"},
  };
  for (const auto& c : cases) EXPECT_EQ(hoursMinutes(c.first), c.second) << c.first;
}

TEST(LightingEvent, PacksLevelAnchorAndSignedOffset) {
  const LightingEvent event = LightingEvent::unpack(0x3201FF88);
  EXPECT_EQ(event.level, 50);
  EXPECT_EQ(event.anchor, ANCHOR_SUNSET);
  EXPECT_EQ(event.offset, -120);
  EXPECT_EQ(event.pack(), 0x3201FF88u);
  LightingEvent off;
  off.anchor = ANCHOR_SUNRISE;
  off.offset = -1;
  EXPECT_EQ(off.pack(), 0x0002FFFFu);  // the offset must not spill into the anchor
}

TEST(PrintLightingEvent, OneLinePerNonEmptySlot) {
  struct Case {
    std::uint8_t level, anchor;
    std::int16_t offset;
    int slot;
    const char* line;
  };
  const std::vector<Case> cases = {
      {50, 1, 120, 2, "Event 2: 02:00 after sunset switch on (50%)\n"},
      {0, 2, -120, 3, "Event 3: 02:00 before sunrise switch off\n"},
      {0, 3, 0, 1, "Event 1: at midnight switch off\n"},
      {100, 7, 30, 6, "Event 6: 00:30 after unknown switch on (100%)\n"},
      {10, 0, -32768, 4, "Event 4: --:-- before unknown switch on (10%)\n"},
  };
  for (const Case& c : cases) {
    LightingEvent event;
    event.level = c.level;
    event.anchor = c.anchor;
    event.offset = c.offset;
    std::ostringstream out;
    EXPECT_EQ(printLightingEvent(out, event.pack(), c.slot), event.pack());
    EXPECT_EQ(out.str(), c.line);
  }
  std::ostringstream out;
  EXPECT_EQ(printLightingEvent(out, 0, 1), 0u);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace sunlink
