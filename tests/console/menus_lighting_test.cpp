// The lighting controller's timer program screen.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "console/menus.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

std::uint32_t event(std::uint8_t level, std::uint8_t anchor, std::int16_t offset) {
  return std::uint32_t{level} << 24 | std::uint32_t{anchor} << 16 |
         static_cast<std::uint16_t>(offset);
}

class LightingMenu : public ::testing::Test {
 protected:
  // Events 1 to 6 hold distinct programs, so a test sees every slot an action touches.
  void prepare(MenuHarness& h) {
    h.model.find("load_control").setU8(0x81);
    for (int slot = 1; slot <= 6; ++slot) {
      h.model.find("lighting_event" + std::to_string(slot)).setU32(sentinel(slot));
    }
  }
  static std::uint32_t sentinel(int slot) { return event(10 * slot, 3, 5 * slot); }
  std::array<std::uint32_t, 6> events(MenuHarness& h) {
    std::array<std::uint32_t, 6> values;
    for (int slot = 1; slot <= 6; ++slot) {
      values[slot - 1] = h.model.find("lighting_event" + std::to_string(slot)).getU32();
    }
    return values;
  }
};

TEST_F(LightingMenu, TimerProgramsWriteTheirEvents) {
  const std::uint32_t offAtSunrise = event(0, 2, 0);
  struct Case {
    const char* input;
    bool changed;
    std::array<std::uint32_t, 6> events;
  };
  const Case cases[] = {
      {"a\n", true, {0, 0, sentinel(3), sentinel(4), sentinel(5), sentinel(6)}},
      // Off five hours after sunset: the sunrise side is left alone.
      {"b\n5\n\n0\n",
       true,
       {event(100, 1, 0), event(0, 1, 300), sentinel(3), sentinel(4), sentinel(5), sentinel(6)}},
      {"b\n4\n100\n30\n",
       true,
       {event(100, 1, 0), event(30, 1, 240), sentinel(3), offAtSunrise, sentinel(5), sentinel(6)}},
      {"b\n0\n",
       false,
       {sentinel(1), sentinel(2), sentinel(3), sentinel(4), sentinel(5), sentinel(6)}},
      {"c\n80\n20%\n",
       true,
       {event(80, 1, 0), event(20, 3, 0), sentinel(3), offAtSunrise, sentinel(5), sentinel(6)}},
      {"c\n\n\n",
       true,
       {event(100, 1, 0), event(0, 3, 0), sentinel(3), sentinel(4), sentinel(5), sentinel(6)}},
      {"d\n\n", true, {event(100, 1, 0), 0, 0, offAtSunrise, sentinel(5), sentinel(6)}},
      {"e\n", true, {sentinel(1), sentinel(2), 0, offAtSunrise, sentinel(5), sentinel(6)}},
      {"f\n1.5\n80\n",
       true,
       {sentinel(1), sentinel(2), event(80, 2, -90), offAtSunrise, sentinel(5), sentinel(6)}},
      {"f\nsoon\n",
       false,
       {sentinel(1), sentinel(2), sentinel(3), sentinel(4), sentinel(5), sentinel(6)}},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 1));
    prepare(h);
    h.type(std::string(c.input) + "x\n");
    EXPECT_EQ(runLightingMenu(h.session), c.changed) << c.input;
    EXPECT_EQ(events(h), c.events) << c.input;
  }
}

TEST_F(LightingMenu, HoursAfterSunsetDialogueAndPrintout) {
  MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 1));
  prepare(h);
  h.model.find("lighting_event3").setU32(0);
  h.model.find("lighting_event4").setU32(0);
  h.model.find("lighting_event5").setU32(0);
  h.model.find("lighting_event6").setU32(0);
  h.type("b\n5\n\n0\nx\n");
  EXPECT_TRUE(runLightingMenu(h.session));
  const std::string out = h.out.str();
  EXPECT_NE(out.find("Select an option (type a,b,c,d,e,f or x and press enter): \n"
                     "\nHow many hours must the light remain on after sunset: "
                     "Specify the dim-level [100%]: \n"
                     "What to do next, specify the dim-level use 0% to switch off [0%]: \n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Event 1: at sunset switch on (100%)\n"
                     "Event 2: 05:00 after sunset switch off\n"),
            std::string::npos);
  EXPECT_EQ(h.err.str(), "");
}

TEST_F(LightingMenu, SunriseProgramPrintsItsOffset) {
  MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 1));
  prepare(h);
  h.type("f\n1.5\n80\nx\n");
  EXPECT_TRUE(runLightingMenu(h.session));
  EXPECT_NE(h.out.str().find("\nHow many hours must the light switch on before sunrise: "
                             "Specify the dim-level [100%]: \n"),
            std::string::npos);
  EXPECT_NE(h.out.str().find("Event 3: 01:30 before sunrise switch on (80%)\n"), std::string::npos);
}

TEST_F(LightingMenu, TweaksAreOfferedByStreetlightVersion) {
  struct Case {
    std::uint8_t version;
    const char* input;  // s, t and r, with empty answers where they are asked
    const char* prompt;
    int refused;
  };
  const Case cases[] = {
      {1, "s\nt\nr\nx\n", "Select an option (type a,b,c,d,e,f or x and press enter): ", 3},
      {2, "s\n\nt\n\n\nr\nx\n",
       "Select an option (type a,b,c,d,e,f,s,t or x and press enter): ", 1},
      {3, "s\n\nt\n\n\nr\n\n\nx\n",
       "Select an option (type a,b,c,d,e,f,s,t,r or x and press enter): ", 0},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, c.version));
    prepare(h);
    h.type(c.input);
    // Empty answers keep every value, so nothing changed.
    EXPECT_FALSE(runLightingMenu(h.session));
    const std::string out = h.out.str();
    EXPECT_NE(out.find(c.prompt), std::string::npos) << int{c.version};
    EXPECT_EQ(countOf(h.err.str(), "Unknown option ignored\n\n"), c.refused);
    EXPECT_EQ(out.find("s - setup gradual dimming (speed)\n"
                       "t - panel voltage tweaks (night/day detection thresholds)\n") !=
                  std::string::npos,
              c.version >= 2);
    EXPECT_EQ(out.find("r - sunrise/set delays (clouds)\n") != std::string::npos, c.version >= 3);
    EXPECT_EQ(out.find("Note2: To use the (gradual) dimming function the sunlink tx port function "
                       "must\n       set to pwm mode (main menu option p).\n") != std::string::npos,
              c.version >= 2);
    EXPECT_EQ(out.find("Note2: To use the dimming function the sunlink tx port function must set "
                       "to\n       pwm mode (main menu option p).\n") != std::string::npos,
              c.version < 2);
  }
}

TEST_F(LightingMenu, MidpointShiftIsClampedAndCountsOnlyWhenItChanges) {
  struct Case {
    const char* answer;
    int shift;
    bool changed;
  };
  const Case cases[] = {
      {"2000", 1440, true}, {"-30", -30, true}, {"", -42, false}, {"-5000", -1440, true}};
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 1));
    prepare(h);
    h.model.find("midpoint_shift").setU16(static_cast<std::uint16_t>(-42));
    h.type(std::string("m\n") + c.answer + "\nx\n");
    EXPECT_EQ(runLightingMenu(h.session), c.changed) << c.answer;
    EXPECT_EQ(static_cast<std::int16_t>(h.u16("midpoint_shift")), c.shift) << c.answer;
    EXPECT_NE(h.out.str().find("switching moment (like option c does). Use 0 to disable the shift "
                               "(default).\n\nCalculation example"),
              std::string::npos);
    EXPECT_NE(h.out.str().find("\nDesired mid-point shift in minutes [-42]: "), std::string::npos);
  }
}

TEST_F(LightingMenu, DimSpeedAndDelaysAreClamped) {
  MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 3));
  prepare(h);
  h.model.find("dim_speed").setU8(9);
  h.model.find("sunset_delay").setU16(10);
  h.model.find("sunrise_delay").setU16(20);
  h.type("s\n150\nr\n45\n-5\nx\n");
  EXPECT_TRUE(runLightingMenu(h.session));
  EXPECT_EQ(h.u8("dim_speed"), 100u);
  EXPECT_EQ(h.u16("sunset_delay"), 30u);
  EXPECT_EQ(h.u16("sunrise_delay"), 0u);
  const std::string out = h.out.str();
  EXPECT_NE(out.find("\nDesired gradual dim speed [9]: \n"), std::string::npos);
  EXPECT_NE(out.find("\nDesired sunset delay duration in minutes [10]: \n"
                     "Desired sunrise delay duration in minutes [20]: \n"),
            std::string::npos);
}

TEST_F(LightingMenu, PanelVoltageTweaksKeepHalfAVoltApart) {
  struct Case {
    const char* night;
    const char* day;
    double storedNight, storedDay;
    const char* out;
    const char* err;
    bool changed;
  };
  const Case cases[] = {
      {"12", "12.2", 12, 12.5, "",
       "Day voltage level must be 0.5V higher than the night voltage level.\n\n", true},
      {"12", "12.5", 12, 12.5, "", "", true},
      {"0", "13", 0, 0, "Using built-in default values\n\n", "", true},
      {"", "", 11, 12, "", "Unable to interpret value\n\nUnable to interpret value\n\n", false},
      // A negative level is refused and the current one kept, rather than taken for 0 (defaults).
      {"-1", "12", 11, 12, "", "Unable to interpret value\n\n", false},
      // The day level would have to be above the charger's 75 V panel maximum: refused whole.
      {"150", "200", 11, 12, "",
       "Day voltage level must be 0.5V above the night level and at most 75.00V.\n\n", false},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer, 2));
    prepare(h);
    h.model.find("panel_voltage_night").setNumber(11);
    h.model.find("panel_voltage_day").setNumber(12);
    h.type(std::string("t\n") + c.night + "\n" + c.day + "\nx\n");
    EXPECT_EQ(runLightingMenu(h.session), c.changed) << c.night << "/" << c.day;
    EXPECT_DOUBLE_EQ(h.number("panel_voltage_night"), c.storedNight) << c.night << "/" << c.day;
    EXPECT_DOUBLE_EQ(h.number("panel_voltage_day"), c.storedDay) << c.night << "/" << c.day;
    EXPECT_NE(h.out.str().find(std::string("\nNight panel voltage detection level [11.00]: \n"
                                           "Day panel voltage detection level [12.00]: \n") +
                               c.out),
              std::string::npos);
    EXPECT_EQ(h.err.str(), c.err);
  }
}

}  // namespace
}  // namespace sunlink
