#include <gtest/gtest.h>

#include "base/errors.h"
#include "console/menus.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

TEST(MainMenu, FirstScreenOffersExactlyTheKeysOfTheCharger) {
  struct Case {
    std::uint32_t flags;
    unsigned batteryType;
    const char* screen;
  };
  const Case cases[] = {
      {0, 1,
       "\nv - Modify battery voltage setting\na - Modify absorption voltage\n"
       "f - Modify float voltage\nc - Modify current limit\n"
       "k - Modify temperature compensation\nm - Modify absorption time limit\n"
       "\nx - Exit and Save\n"
       "Select an option (type v,a,f,c,k,m or x and press enter): \n"},
      {kCellGuard | kAutoEq | kLoad | kSolarTimer | kRelay | kHistory | kTx | kRx, 0xFF,
       "\nv - Modify battery voltage setting\na - Modify absorption voltage\n"
       "b - Enable cellguard mode\nf - Modify float voltage\nc - Modify current limit\n"
       "i - Modify equalisation voltage\nj - Modify auto equalise mode\n"
       "k - Modify temperature compensation\nm - Modify absorption time limit\n"
       "t - Switch back to factory defined battery table\n"
       "l - Modify load output / lighting controller (timer) settings\n"
       "r - Modify relay settings\ne - Clear history data\np - SunLink TX Port function\n"
       "q - SunLink RX Port function\n\nx - Exit and Save\n"
       "Select an option (type v,a,b,f,c,i,j,k,m,t,l,r,e,p,q or x and press enter): \n"},
      {kRotary | kVirtualLoad | kVirtualRelay, 0xFF,
       "\nv - Modify battery voltage setting\na - Modify absorption voltage\n"
       "f - Modify float voltage\nc - Modify current limit\n"
       "k - Modify temperature compensation\nm - Modify absorption time limit\n"
       "t - Switch back to rotary switch battery type\n"
       "l - Modify load output settings\nr - Modify relay settings\n\nx - Exit and Save\n"
       "Note: Modifying settings (except the battery voltage) effectively disables the\n"
       "      rotary switch, use option t to revert back to the factory defined\n"
       "      battery table (as selected by the rotary switch).\n"
       "Select an option (type v,a,f,c,k,m,t,l,r or x and press enter): \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.model.find("battery_type").setU8(c.batteryType);
    h.type("x\n");
    // x leaves at once: no clearing, no printout, nothing changed.
    EXPECT_FALSE(runMainMenu(h.session));
    EXPECT_EQ(h.out.str(), c.screen) << "flags " << c.flags;
    EXPECT_EQ(h.err.str(), "");
  }
}

TEST(MainMenu, AnswersThatAreNotKeysOfThisChargerAreIgnored) {
  // Keys compare with the whole line, case-sensitively, and only where the charger has the feature.
  MenuHarness h(menuTestCapabilities(0));
  h.type("V\nx \n\n e\ne\nb\nl\nr\np\nq\ni\nj\nx\n");
  EXPECT_FALSE(runMainMenu(h.session));
  EXPECT_EQ(countOf(h.err.str(), "Unknown option ignored\n\n"), 12);
  EXPECT_EQ(h.err.str().size(), 12 * std::string("Unknown option ignored\n\n").size());
  // Each refusal redraws the settings and the menu.
  EXPECT_EQ(countOf(h.out.str(), "Select an option"), 13);
  EXPECT_EQ(countOf(h.out.str(), "Test charger 1.16\n"), 12);
}

TEST(MainMenu, BatteryVoltagePromptListsTheRatingRange) {
  struct Case {
    std::uint8_t maxVoltage;
    const char* answer;
    const char* prompt;
    bool changed;
    double absorption;
  };
  const Case cases[] = {
      {24, "24", "\n\nBattery voltage setting (12=12V,24=24V) [0]: \n", true, 28.8},
      {24, "36", "\n\nBattery voltage setting (12=12V,24=24V) [0]: \n", false, 14.4},
      {48, "12", "\n\nBattery voltage setting (12=12V,24=24V,36=36V,48=48V) [0]: \n", true, 14.4},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(0, 0, c.maxVoltage));
    h.type(std::string("v\n") + c.answer + "\nx\n");
    EXPECT_EQ(runMainMenu(h.session), c.changed) << c.answer;
    EXPECT_NE(h.out.str().find(std::string("(type v,a,f,c,k,m or x and press enter): ") + c.prompt),
              std::string::npos)
        << h.out.str();
    EXPECT_DOUBLE_EQ(h.number("absorption_voltage"), c.absorption);
  }
}

TEST(MainMenu, CellGuardKeyTogglesAndTheRedrawnMenuOffersTheOpposite) {
  MenuHarness h(menuTestCapabilities(kCellGuard));
  h.model.find("cellguard_mode").setU8(1);
  h.type("b\nx\n");
  EXPECT_TRUE(runMainMenu(h.session));
  EXPECT_EQ(h.u8("cellguard_mode"), 0u);
  const std::string out = h.out.str();
  const std::size_t redraw = out.find("Test charger 1.16\n");
  ASSERT_NE(redraw, std::string::npos);
  EXPECT_NE(out.find("b - Disable cellguard mode"), std::string::npos);
  EXPECT_NE(out.find("b - Enable cellguard mode", redraw), std::string::npos);
  // No value is asked for: the redraw follows the key's line end directly.
  EXPECT_EQ(out.substr(redraw - 4, 4), "): \n");

  h.out.str("");
  h.type("b\nx\n");
  EXPECT_TRUE(runMainMenu(h.session));
  EXPECT_EQ(h.u8("cellguard_mode"), 1u);
}

TEST(MainMenu, TemperatureNoteMentionsTheLoadOnlyWithLoadOutput) {
  struct Case {
    std::uint32_t flags;
    const char* ending;
  };
  const Case cases[] = {
      {kLoad,
       "actively charging a battery or supplying a load.\n\nTemperature compensation "
       "[-16.20]: \n"},
      {kVirtualLoad, "actively charging a battery.\n\nTemperature compensation [-16.20]: \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.type("k\n-20\nx\n");
    EXPECT_TRUE(runMainMenu(h.session));
    const std::string out = h.out.str();
    EXPECT_NE(out.find("press enter): \nThe temperature compensation is not a dynamic during "
                       "operation. The charger\n"
                       "uses its internal temperature for the battery temperature compensation "
                       "when\n"
                       "the charger has been idle for at least one hour, i.e. when the charger "
                       "is not\n"),
              std::string::npos);
    EXPECT_NE(out.find(c.ending), std::string::npos) << out;
    EXPECT_DOUBLE_EQ(h.number("temperature_compensation"), -20);
    EXPECT_EQ(h.u8("battery_type"), 0xFFu);
  }
}

TEST(MainMenu, AbsorptionTimeTableScalesWithTheLimitAndSystemVoltage) {
  MenuHarness h(menuTestCapabilities(0));
  h.type("m\n6:30\nx\n");
  EXPECT_TRUE(runMainMenu(h.session));
  const std::string table =
      "press enter): \n"
      "The maximum duration of the absorption period is determined by the\n"
      "battery voltage measured just before the solar charger starts up in\n"
      "the morning:\n"
      "\n"
      "Battery voltage Vb (@start-up) | Multiplier | Maximum absorption times\n"
      "-------------------------------|------------|-------------------------\n"
      "          Vb < 11.9V           |    x 1     |       06:00 hours\n"
      "      11.9V < Vb < 12.2V       |   x 2/3    |       04:00 hours\n"
      "      12.2V < Vb < 12.6V       |   x 1/3    |       02:00 hours\n"
      "          Vb > 12.6V           |   x 1/6    |       01:00 hours\n"
      "\n"
      "Absorption time limit [06:00]: \n";
  EXPECT_NE(h.out.str().find(table), std::string::npos) << h.out.str();
  EXPECT_DOUBLE_EQ(h.number("absorption_time_limit"), 6.5);

  // A 24 V system with 3 hours: the voltages double, the times follow the limit.
  MenuHarness h24(menuTestCapabilities(0));
  h24.model.find("battery_voltage").setU8(24);
  h24.model.find("absorption_time_limit").setNumber(3);
  h24.type("m\n\nx\n");
  EXPECT_FALSE(runMainMenu(h24.session));
  EXPECT_NE(h24.out.str().find("      23.8V < Vb < 24.4V       |   x 2/3    |       02:00 hours\n"),
            std::string::npos);
  EXPECT_NE(h24.out.str().find("          Vb > 25.2V           |   x 1/6    |       00:30 hours\n"),
            std::string::npos);

  // 2.05 hours is 123 minutes, exactly as the printout counts it, and so are its fractions.
  MenuHarness odd(menuTestCapabilities(0));
  odd.model.find("absorption_time_limit").value = "00CD";
  odd.type("m\n\nx\n");
  EXPECT_FALSE(runMainMenu(odd.session));
  EXPECT_NE(odd.out.str().find("|    x 1     |       02:03 hours\n"
                               "      11.9V < Vb < 12.2V       |   x 2/3    |       01:22 hours\n"
                               "      12.2V < Vb < 12.6V       |   x 1/3    |       00:41 hours\n"
                               "          Vb > 12.6V           |   x 1/6    |       00:20 hours\n"
                               "\nAbsorption time limit [02:03]: "),
            std::string::npos)
      << odd.out.str();
}

TEST(MainMenu, ValuePromptsShowTheCurrentValueAndFeedTheSetter) {
  struct Case {
    const char* key;
    const char* answer;
    const char* prompt;
    const char* label;
    double expected;
    bool changed;
    const char* err = "";  // a refusal ends with an empty line, but the auto equalise mode's
  };
  const Case cases[] = {
      {"a", "14,7V", "\nAbsorption voltage [14.40]: \n", "absorption_voltage", 14.7, true},
      {"a", "20", "\nAbsorption voltage [14.40]: \n", "absorption_voltage", 14.4, false,
       "absorption voltage must be between 9.00 and 17.40 V, not 20 V\n\n"},
      {"f", "13.5", "\nFloat voltage [13.80]: \n", "float_voltage", 13.5, true},
      {"c", "7,5A", "\nCurrent limit [15.0]: \n", "maximum_current", 7.5, true},
      {"i", "16", "\nEqualisation voltage [16.20]: \n", "equalisation_voltage", 16, true},
      {"j", "2", "\nAuto equalise mode (0=off, 1=daily, 2=every other day, etc) [0]: \n",
       "auto_equalise", 2, true},
      // Only Enter: refused, and nothing is stored (the battery type included).
      {"a", "", "\nAbsorption voltage [14.40]: \n", "absorption_voltage", 14.4, false,
       "Unable to interpret value\n\n"},
      {"j", "2 ", "\nAuto equalise mode (0=off, 1=daily, 2=every other day, etc) [0]: \n",
       "auto_equalise", 0, false, "Unable to interpret value\n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kAutoEq));
    h.type(std::string(c.key) + "\n" + c.answer + "\nx\n");
    EXPECT_EQ(runMainMenu(h.session), c.changed) << c.key << " " << c.answer;
    EXPECT_NE(h.out.str().find(std::string("press enter): \n") + c.prompt), std::string::npos)
        << h.out.str();
    EXPECT_DOUBLE_EQ(h.number(c.label), c.expected) << c.key << " " << c.answer;
    EXPECT_EQ(h.err.str(), c.err) << c.key << " " << c.answer;
  }
}

TEST(MainMenu, OnlyAnAcceptedValueMakesTheBatteryTypeUserDefined) {
  struct Case {
    unsigned batteryType;
    const char* answer;
    unsigned typeAfter;
    bool changed;
  };
  const Case cases[] = {
      {1, "", 1, false},            // only Enter: nothing changes, the table stays the charger's
      {1, "abc", 1, false},         // unreadable
      {1, "20", 1, false},          // refused: out of range
      {0xFF, "14.4", 0xFF, false},  // the current value: nothing to store
      {1, "14.4", 0xFF, true},      // the user's value instead of the charger's own table
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(0));
    h.model.find("battery_type").setU8(c.batteryType);
    h.type(std::string("a\n") + c.answer + "\nx\n");
    EXPECT_EQ(runMainMenu(h.session), c.changed) << c.answer;
    EXPECT_EQ(h.u8("battery_type"), c.typeAfter) << c.answer;
    EXPECT_DOUBLE_EQ(h.number("absorption_voltage"), 14.4);
  }
}

TEST(MainMenu, FactoryResetRestoresTheTableOfTheSystemVoltage) {
  struct Case {
    std::uint8_t systemVoltage;
    unsigned batteryType;
    double absorption, floatV, equalisation, compensation;
    double rating, current;  // the current limit is set to the rating, when the charger has one
  };
  // t is taken even when its line is not shown (battery type not user defined).
  const Case cases[] = {
      {12, 0xFF, 14.4, 13.8, 16.2, -16.2, 15, 15},
      {24, 1, 28.8, 27.6, 32.4, -32.4, 15, 15},
      {12, 0xFF, 14.4, 13.8, 16.2, -16.2, 0, 4},
  };
  for (const Case& c : cases) {
    Capabilities caps = menuTestCapabilities(kCellGuard | kAutoEq, 0, 24);
    caps.maxCurrent = c.rating;
    MenuHarness h(caps);
    h.model.find("battery_voltage").setU8(c.systemVoltage);
    h.model.find("battery_type").setU8(c.batteryType);
    h.model.find("absorption_voltage").setNumber(c.systemVoltage * 1.25);
    h.model.find("float_voltage").setNumber(c.systemVoltage * 1.1);
    h.model.find("equalisation_voltage").setNumber(c.systemVoltage * 1.3);
    h.model.find("temperature_compensation").setNumber(0);
    h.model.find("maximum_current").setNumber(4);
    h.model.find("absorption_time_limit").setNumber(2);
    h.model.find("cellguard_mode").setU8(0);
    h.type("t\nx\n");
    EXPECT_TRUE(runMainMenu(h.session));
    EXPECT_EQ(h.u8("battery_type"), 1u);
    EXPECT_DOUBLE_EQ(h.number("absorption_voltage"), c.absorption);
    EXPECT_DOUBLE_EQ(h.number("float_voltage"), c.floatV);
    EXPECT_DOUBLE_EQ(h.number("equalisation_voltage"), c.equalisation);
    EXPECT_DOUBLE_EQ(h.number("temperature_compensation"), c.compensation);
    EXPECT_DOUBLE_EQ(h.number("maximum_current"), c.current);
    EXPECT_DOUBLE_EQ(h.number("absorption_time_limit"), 6);
    EXPECT_EQ(h.u8("cellguard_mode"), 1u);
    EXPECT_EQ(h.err.str(), "");
  }
}

TEST(MainMenu, ClearingHistoryNeverCountsAsASettingsChange) {
  MenuHarness h(menuTestCapabilities(kHistory));
  h.type("e\nx\n");
  EXPECT_FALSE(runMainMenu(h.session));
  EXPECT_EQ(h.err.str(), "");
}

TEST(MainMenu, SubmenusReportTheirChangesToTheMainMenu) {
  struct Case {
    std::uint32_t flags;
    const char* input;
    bool changed;
  };
  const Case cases[] = {
      {kLoad, "l\nm\n2\nx\nx\n", true},  {kLoad, "l\nx\nx\n", false},
      {kRelay, "r\ng\n5\nx\nx\n", true}, {kRelay, "r\nx\nx\n", false},
      {kTx, "p\n1\nx\n", true},          {kTx, "p\n2\nx\n", false},
      {kRx, "q\n2\nx\n", true},          {kRx, "q\nz\nx\n", false},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    h.type(c.input);
    EXPECT_EQ(runMainMenu(h.session), c.changed) << c.input;
    // Back in the main menu after the submenu: the settings and the menu are drawn again.
    EXPECT_NE(h.out.str().rfind("x - Exit and Save\n"), std::string::npos);
  }
}

TEST(MainMenu, EndOfInputLeavesEveryScreenAtOnce) {
  struct Case {
    std::uint32_t flags;
    std::uint8_t streetlightVersion;
    const char* input;
  };
  const std::uint32_t all =
      kCellGuard | kAutoEq | kLoad | kSolarTimer | kRelay | kTx | kRx | kUserSwitch;
  const Case cases[] = {
      {all, 3, ""},                  // main menu
      {all, 3, "V\n"},               // main menu after a refusal
      {all, 3, "a"},                 // a last line without a line end still counts
      {all, 3, "v\n"},               // battery voltage prompt
      {all, 3, "m\n"},               // absorption time prompt
      {all, 3, "l\n"},               // load menu
      {all, 3, "l\nm\n"},            // load mode screen
      {all, 3, "l\ns\np\n"},         // lighting menu
      {all, 3, "l\ns\np\nb\n"},      // hours question
      {all, 3, "l\ns\np\nb\n5\n"},   // dim level question
      {all, 3, "l\ns\np\nt\n12\n"},  // day level question
      {all, 3, "l\ns\np\nr\n"},      // delay question
      {all, 3, "r\n"},               // relay menu
      {all, 3, "r\nm\n"},            // relay mode screen
      {all, 3, "r\na\n"},            // relay level question
      {all, 3, "r\ng\n"},            // minimum closed time question
      {all, 3, "p\n"},               // TX port screen
      {all, 3, "q\n"},               // RX port screen
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags, c.streetlightVersion));
    h.type(c.input);
    EXPECT_THROW(runMainMenu(h.session), input_ended) << c.input;
  }
}

TEST(MainMenu, OverLongAnswerIsUnreadable) {
  MenuHarness h(menuTestCapabilities(0));
  // A valid key or number followed by blanks beyond the line limit is refused, not cut down.
  h.type("x" + std::string(5000, ' ') + "\na\n14.1" + std::string(5000, ' ') + "\nx\n");
  EXPECT_FALSE(runMainMenu(h.session));
  EXPECT_EQ(h.err.str(), "Unknown option ignored\n\nUnable to interpret value\n\n");
  EXPECT_DOUBLE_EQ(h.number("absorption_voltage"), 14.4);
}

TEST(MainMenu, OnAScreenTheLastAnswersMessagesShowAgainAboveTheNextKeyPrompt) {
  struct Case {
    std::uint32_t flags;
    const char* input;
    const char* message;
    const char* shown;  // the message where the redrawn screen shows it
    int onOut;          // how often the message is on out in all: once more than before, once
  };
  const Case cases[] = {
      {0, "zz\nx\n", "Unknown option ignored\n\n",
       "x - Exit and Save\nUnknown option ignored\n\nSelect an option (type v", 1},
      {kRelay, "r\na\n-5\nx\nx\n", "Unable to interpret value\n\n",
       "x - Return to the previous menu\nUnable to interpret value\n\nSelect an option (type m", 1},
      // A notice written on out: there once as today, and once again after the redraw.
      {kLoad | kSolarTimer, "l\ns\np\nt\n0\n0\nx\nx\nx\n", "Using built-in default values\n\n",
       "(main menu option p).\nUsing built-in default values\n\nSelect an option (type a", 2},
      // A one-question screen: its refusal shows in the main menu it returns to.
      {kTx, "p\n9\nx\n", "Unable to interpret value\n\n",
       "x - Exit and Save\nUnable to interpret value\n\nSelect an option (type v", 1},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags, 2));
    h.session.io.screen = true;
    h.type(c.input);
    runMainMenu(h.session);
    const std::string out = h.out.str();
    EXPECT_EQ(countOf(out, c.shown), 1) << c.input << "\n" << out;
    EXPECT_EQ(countOf(out, c.message), c.onOut) << c.input;
    EXPECT_EQ(contains(h.err.str(), c.message), c.onOut == 1) << "errors stay on err as well";
    EXPECT_EQ(h.session.io.err, &h.err) << "the session gives err back";
  }
}

}  // namespace
}  // namespace sunlink
