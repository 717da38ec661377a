// The load output menu and its operation mode screen.
#include <gtest/gtest.h>

#include "console/menus.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

TEST(LoadMenu, AutomaticEnergySelectorModeOffersLevelsAndTimer) {
  MenuHarness h(menuTestCapabilities(kLoad | kUserSwitch | kAes));
  h.model.find("load_control").setU8(7);
  h.model.find("load_switch_high_level").setNumber(13.2);
  h.model.find("load_switch_low_level").setNumber(11.7);
  h.model.find("automatic_energy_selector_timer").setU16(30);
  h.type("h\n13.5\nl\n11,5\nx\n");
  EXPECT_TRUE(runLoadMenu(h.session));
  const std::string out = h.out.str();
  EXPECT_NE(out.find("\nLoad output settings\n\n"
                     "m - Modify load operation mode\n"
                     "h - Modify load switch high voltage level (13.20V)\n"
                     "l - Modify load switch low voltage level (11.70V)\n"
                     "a - Modify Automatic energy selector timer (00:30)\n"
                     "\nx - Return to the previous menu\n"
                     "Select an option (type m,h,l,a or x and press enter): \n"
                     "\nLoad switch high voltage level [13.20]: \n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\nLoad switch low voltage level [11.70]: \n"), std::string::npos);
  // The redrawn screen shows the new levels.
  EXPECT_NE(out.find("h - Modify load switch high voltage level (13.50V)"), std::string::npos);
  EXPECT_DOUBLE_EQ(h.number("load_switch_high_level"), 13.5);
  EXPECT_DOUBLE_EQ(h.number("load_switch_low_level"), 11.5);
}

TEST(LoadMenu, SelectorTimerIsCappedAtOneHourAndZeroKeepsIt) {
  struct Case {
    const char* answer;
    unsigned minutes;
    bool changed;
  };
  const Case cases[] = {{"0:45", 45, true}, {"2", 60, true}, {"0", 30, false}, {"", 30, false}};
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kLoad | kAes));
    h.model.find("load_control").setU8(7);
    h.model.find("automatic_energy_selector_timer").setU16(30);
    h.type(std::string("a\n") + c.answer + "\nx\n");
    EXPECT_EQ(runLoadMenu(h.session), c.changed) << c.answer;
    EXPECT_NE(h.out.str().find("\nAutomatic energy selector timer [00:30]: \n"), std::string::npos);
    EXPECT_EQ(h.u16("automatic_energy_selector_timer"), c.minutes) << c.answer;
  }
}

TEST(LoadMenu, LevelKeysOnlyInTheModesThatUseThem) {
  MenuHarness h(menuTestCapabilities(kLoad | kUserSwitch | kAes));
  h.model.find("load_control").setU8(4);
  h.type("h\nl\na\np\ns\nx\n");
  EXPECT_FALSE(runLoadMenu(h.session));
  EXPECT_EQ(countOf(h.err.str(), "Unknown option ignored\n\n"), 5);
  EXPECT_EQ(h.out.str().find("h - Modify"), std::string::npos);
  EXPECT_NE(h.out.str().find("Select an option (type m or x and press enter): "),
            std::string::npos);

  // Mode 6 shows the levels but not the selector timer.
  MenuHarness six(menuTestCapabilities(kLoad | kUserSwitch | kAes));
  six.model.find("load_control").setU8(6);
  six.type("a\nx\n");
  EXPECT_FALSE(runLoadMenu(six.session));
  EXPECT_NE(six.out.str().find("Select an option (type m,h,l or x and press enter): "),
            std::string::npos);
  EXPECT_EQ(six.err.str(), "Unknown option ignored\n\n");

  // A level the charger answered "unknown id" for is not offered, even in its mode.
  MenuHarness lacking(menuTestCapabilities(kLoad | kUserSwitch | kAes));
  lacking.model.find("load_control").setU8(7);
  lacking.model.find("load_switch_low_level").absentFromCharger = true;
  lacking.model.find("automatic_energy_selector_timer").absentFromCharger = true;
  lacking.type("l\na\nx\n");
  EXPECT_FALSE(runLoadMenu(lacking.session));
  EXPECT_NE(lacking.out.str().find("Select an option (type m,h or x and press enter): "),
            std::string::npos);
  EXPECT_EQ(countOf(lacking.err.str(), "Unknown option ignored\n\n"), 2);
}

TEST(LoadMenu, LightingControllerKeyTogglesBitSevenOnly) {
  MenuHarness h(menuTestCapabilities(kLoad | kSolarTimer));
  h.model.find("load_control").setU8(0x03);
  h.type("s\nx\n");
  EXPECT_TRUE(runLoadMenu(h.session));
  EXPECT_EQ(h.u8("load_control"), 0x83u);
  std::string out = h.out.str();
  EXPECT_NE(out.find("s - Enable lighting controller (timer)\n\nx - Return"), std::string::npos);
  EXPECT_NE(out.find("s - Disable lighting controller (timer)\n"
                     "p - Modify lighting controller timer program\n"),
            std::string::npos);
  EXPECT_NE(out.find("Select an option (type m,s,p or x and press enter): "), std::string::npos);
  EXPECT_NE(out.find("\nLoad output / lighting controller (timer) settings\n\n"),
            std::string::npos);

  h.out.str("");
  h.type("s\np\nx\n");
  EXPECT_TRUE(runLoadMenu(h.session));
  EXPECT_EQ(h.u8("load_control"), 0x03u);
  // With the controller off, p is no key any more.
  EXPECT_EQ(h.err.str(), "Unknown option ignored\n\n");
}

TEST(LoadMenu, OperationModeScreenListsTheChargersModes) {
  struct Case {
    std::uint32_t flags;
    unsigned portRx;
    const char* answer;
    unsigned control;
    bool jumperNote;
    const char* prompt;
  };
  const Case cases[] = {
      {kLoad | kUserSwitch | kAes, 0, "7", 0x87, true,
       "Load operation mode (type 0,1,2,3,4,5,6,7 and press enter) [1]: \n"},
      {kLoad, 0, "5", 0x81, true, "Load operation mode (type 0,1,2,3,4 and press enter) [1]: \n"},
      {kLoad | kRx, 0, "4", 0x84, false,
       "Load operation mode (type 0,1,2,3,4 and press enter) [1]: \n"},
      {kLoad | kRx, 1, "4", 0x84, true,
       "Load operation mode (type 0,1,2,3,4 and press enter) [1]: \n"},
      {kVirtualLoad | kUserSwitch, 0, "6", 0x86, false,
       "Load operation mode (type 0,1,2,3,4,5,6 and press enter) [1]: \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.model.find("load_control").setU8(0x81);
    if (c.flags & kRx) h.model.find("port_rx_function").setU8(c.portRx);
    if (c.flags & (kUserSwitch | kAes)) {
      h.model.find("load_switch_high_level").setNumber(13.2);
      h.model.find("load_switch_low_level").setNumber(11.7);
    }
    if (c.flags & kAes) h.model.find("automatic_energy_selector_timer").setU16(75);
    h.type(std::string("m\n") + c.answer + "\nx\n");
    EXPECT_EQ(runLoadMenu(h.session), c.control != 0x81) << c.answer;
    EXPECT_EQ(h.u8("load_control"), c.control) << c.answer;
    const std::string out = h.out.str();
    EXPECT_NE(out.find(c.prompt), std::string::npos) << out;
    EXPECT_NE(out.find("\nLoad operation mode\n\n0 - Load always off\n"
                       "1 - Cellcare algorithm (default)\n"
                       "2 - Conventional algorithm 1 (off<11.10V, on>13.10V)\n"
                       "3 - Conventional algorithm 2 (off<11.80V, on>14.00V)\n"
                       "4 - Load always on\n"),
              std::string::npos);
    EXPECT_EQ(
        out.find("5 - User defined algorithm 1 (off<11.70V, on>13.20V)\n"
                 "6 - User defined algorithm 2 (off<11.70V<on<13.20V<off)\n") != std::string::npos,
        (c.flags & kUserSwitch) != 0);
    EXPECT_EQ(out.find("7 - Automatic energy selector (off<11.70V, on>13.20V, time=01:15)\n") !=
                  std::string::npos,
              (c.flags & kAes) != 0);
    EXPECT_EQ(
        out.find("Note: The load operation mode can be overruled by placing a jumper on "
                 "the\n      sunlink connector.\nLoad operation mode (type") != std::string::npos,
        c.jumperNote)
        << c.answer;
  }
}

}  // namespace
}  // namespace sunlink
