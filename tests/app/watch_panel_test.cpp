// The watch's panel redrawn in place over exactly the rows it took, with the terminal's codes as
// they go out on Linux (Windows moves the cursor through its console instead).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/watch_sinks.h"

namespace sunlink {
namespace {

LiveBlock panelBlock(std::int64_t millivolts, const std::string& serial) {
  LiveBlock block;
  block.values.serial = serial;
  block.values[LiveField::batteryV] = millivolts;
  block.values[LiveField::state] = 3;
  block.at = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 50));
  return block;
}

// After each drawing the cursor stands below the panel; the next one first goes up over the rows
// the last took (wrapped lines counting as the rows the terminal gives them) and clears them. A
// notice written below the panel is left alone.
TEST(PanelSinkTest, RedrawsOverTheRowsTheLastPanelTook) {
  // The heading is the serial, two blanks and the time (8 columns); the battery line is short.
  const std::string longSerial(75, 'S');
  struct Case {
    const char* name;
    int columns;
    std::string serial;
    bool noticeBetween;
    const char* erase;  // before the second panel
  };
  const Case cases[] = {
      {"short lines", 80, "HQ1", false, "\033[2A\033[J"},
      {"width unknown", 0, longSerial, false, "\033[2A\033[J"},
      {"heading wraps once", 80, longSerial, false, "\033[3A\033[J"},
      {"heading wraps twice", 40, longSerial, false, "\033[4A\033[J"},
      {"heading exactly as wide as the terminal", 80, std::string(70, 'S'), false, "\033[2A\033[J"},
      {"a notice between", 80, "HQ1", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    PanelSink panel(out, [&c] { return c.columns; });
    WatchedCharger charger;
    ASSERT_TRUE(panel.show(panelBlock(13280, c.serial), charger));
    const std::string first = out.str();
    EXPECT_EQ(first.find('\033'), std::string::npos) << first;
    if (c.noticeBetween) panel.notice(WatchEvent::silence);
    ASSERT_TRUE(panel.show(panelBlock(13290, c.serial), charger));
    const std::string second = out.str().substr(first.size());
    if (*c.erase == '\0')
      EXPECT_EQ(second.find('\033'), std::string::npos) << second;
    else
      EXPECT_EQ(second.substr(0, std::string(c.erase).size()), c.erase) << second;
    EXPECT_NE(second.find("Battery  13.29 V  Bulk\n"), std::string::npos) << second;
  }
}

TEST(PanelSinkTest, HeadingWidthCountsCharactersNotBytes) {
  // A serial of 39 characters, the last of them two bytes long: a heading 49 columns wide (50
  // bytes), which fits a terminal of 49 columns in one row.
  std::ostringstream out;
  PanelSink panel(out, [] { return 49; });
  WatchedCharger charger;
  ASSERT_TRUE(panel.show(panelBlock(13280, std::string(38, 'S') + "\xC3\xA9"), charger));
  ASSERT_TRUE(panel.show(panelBlock(13280, "x"), charger));
  EXPECT_NE(out.str().find("\033[2A\033[J"), std::string::npos);
}

}  // namespace
}  // namespace sunlink
