// The alarm relay screen.
#include <gtest/gtest.h>

#include "console/menus.h"
#include "tests/console/menus_harness.h"

namespace sunlink {
namespace {

void setLevels(MenuHarness& h) {
  h.model.find("relay_input_high_voltage_set").setNumber(40);
  h.model.find("relay_input_high_voltage_clear").setNumber(35.5);
  h.model.find("relay_output_low_voltage_set").setNumber(11.5);
  h.model.find("relay_output_low_voltage_clear").setNumber(12.5);
  h.model.find("relay_output_high_voltage_set").setNumber(14.8);
  h.model.find("relay_output_high_voltage_clear").setNumber(14.2);
  h.model.find("relay_min_enabled").setU16(10);
}

TEST(RelayMenu, PromptSuggestsTheLevelsOfTheCurrentMode) {
  struct Case {
    unsigned mode;
    const char* prompt;
  };
  const Case cases[] = {
      {0, "Select an option (type m,g or x and press enter): "},
      {1, "Select an option (type m,a,b,g or x and press enter): "},
      {3, "Select an option (type m,c,d,g or x and press enter): "},
      {7, "Select an option (type m,e,f,g or x and press enter): "},
      {10, "Select an option (type m,g or x and press enter): "},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kRelay));
    setLevels(h);
    h.model.find("relay_mode").setU8(c.mode);
    h.type("x\n");
    EXPECT_FALSE(runRelayMenu(h.session));
    const std::string screen = std::string("\nAlarm relay settings\n\n") +
                               "m - Modify relay operation mode\n"
                               "a - Set panel voltage high set level (40.00V)\n"
                               "b - Set panel voltage high clear level (35.50V)\n"
                               "c - Set battery voltage low set level (11.50V)\n"
                               "d - Set battery voltage low clear level (12.50V)\n"
                               "e - Set battery voltage high set level (14.80V)\n"
                               "f - Set battery voltage high clear level (14.20V)\n"
                               "g - Modify minimum closed time (10 minutes)\n"
                               "\nx - Return to the previous menu\n" +
                               c.prompt + "\n";
    const std::string out = h.out.str();
    // The screen follows the settings printout and ends the output.
    ASSERT_GE(out.size(), screen.size());
    EXPECT_EQ(out.substr(out.size() - screen.size()), screen) << c.mode;
  }
}

TEST(RelayMenu, EveryLevelKeyIsAcceptedWhateverTheMode) {
  struct Case {
    const char* key;
    const char* answer;
    const char* question;
    const char* label;
    double expected;
    bool changed;
    const char* err = "";
  };
  const Case cases[] = {
      {"a", "45", "\nPanel voltage high set level [40.00]: \n", "relay_input_high_voltage_set", 45,
       true},
      {"b", "200", "\nPanel voltage high clear level [35.50]: \n", "relay_input_high_voltage_clear",
       75, true},
      {"c", "11", "\nBattery voltage low set level [11.50]: \n", "relay_output_low_voltage_set", 11,
       true},
      {"d", "12.1V", "\nBattery voltage low clear level [12.50]: \n",
       "relay_output_low_voltage_clear", 12.1, true},
      {"e", "15", "\nBattery voltage high set level [14.80]: \n", "relay_output_high_voltage_set",
       15, true},
      {"f", "14", "\nBattery voltage high clear level [14.20]: \n",
       "relay_output_high_voltage_clear", 14, true},
      // An empty answer is refused and leaves the level.
      {"c", "", "\nBattery voltage low set level [11.50]: \n", "relay_output_low_voltage_set", 11.5,
       false, "Unable to interpret value\n\n"},
      // A negative panel level is refused with the message, not dropped without a word.
      {"b", "-5", "\nPanel voltage high clear level [35.50]: \n", "relay_input_high_voltage_clear",
       35.5, false, "Unable to interpret value\n\n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kVirtualRelay));
    setLevels(h);
    h.type(std::string(c.key) + "\n" + c.answer + "\nx\n");
    EXPECT_EQ(runRelayMenu(h.session), c.changed) << c.key;
    EXPECT_NE(h.out.str().find(std::string("press enter): \n") + c.question), std::string::npos)
        << c.key;
    EXPECT_DOUBLE_EQ(h.number(c.label), c.expected) << c.key;
    EXPECT_EQ(h.err.str(), c.err) << c.key << " " << c.answer;
  }
}

TEST(RelayMenu, MinimumClosedTimeIsClampedAndCountsOnlyWhenItChanges) {
  struct Case {
    const char* answer;
    unsigned minutes;
    const char* err;
    bool changed;
  };
  const Case cases[] = {
      {"600", 500, "", true},
      {"-3", 0, "", true},
      {"90", 90, "", true},
      {"10", 10, "", false},  // the current value
      {"soon", 10, "Unable to interpret value\n\n", false},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(kRelay));
    setLevels(h);
    h.type(std::string("g\n") + c.answer + "\nx\n");
    EXPECT_EQ(runRelayMenu(h.session), c.changed) << c.answer;
    EXPECT_EQ(h.u16("relay_min_enabled"), c.minutes) << c.answer;
    EXPECT_EQ(h.err.str(), c.err);
    EXPECT_NE(h.out.str().find("press enter): \nRelay minimum enabled time [10]: \n"),
              std::string::npos);
  }
}

TEST(RelayMenu, ModeListStopsAtNineWithoutALoadOutput) {
  struct Case {
    std::uint32_t flags;
    const char* answer;
    unsigned mode;
    bool listsLoadMode;
    const char* prompt;
  };
  const Case cases[] = {
      {kRelay, "10", 3, false, "Relay operation mode (type 0..9 and press enter) [3]: \n"},
      {kRelay, "9", 9, false, "Relay operation mode (type 0..9 and press enter) [3]: \n"},
      {kRelay | kLoad, "10", 10, true, "Relay operation mode (type 0..10 and press enter) [3]: \n"},
      {kRelay | kVirtualLoad, "10", 10, true,
       "Relay operation mode (type 0..10 and press enter) [3]: \n"},
      {kRelay | kLoad, "11", 3, true, "Relay operation mode (type 0..10 and press enter) [3]: \n"},
  };
  for (const Case& c : cases) {
    MenuHarness h(menuTestCapabilities(c.flags));
    setLevels(h);
    h.model.find("relay_mode").setU8(3);
    h.type(std::string("m\n") + c.answer + "\nx\n");
    EXPECT_EQ(runRelayMenu(h.session), c.mode != 3) << c.answer;
    EXPECT_EQ(h.u8("relay_mode"), c.mode) << c.answer;
    const std::string out = h.out.str();
    const std::string list =
        "\nRelay operation mode\n\n"
        "0 - Relay always off\n"
        "1 - Panel voltage high (off<35.50V, on>40.00V)\n"
        "2 - High temperature (dimming)\n"
        "3 - Battery voltage low (on<11.50V, off>12.50V)\n"
        "4 - Equalization active\n"
        "5 - Error state\n"
        "6 - Defrost option (temp<-20C)\n"
        "7 - Battery voltage high (off<14.20V, on>14.80V)\n"
        "8 - Float or storage state\n"
        "9 - Day detection (panels irradiated)\n" +
        std::string(c.listsLoadMode ? "10 - Load output\n" : "") + "\n" + c.prompt;
    EXPECT_NE(out.find(list), std::string::npos) << out;
    EXPECT_EQ(h.err.str(), c.mode == 3 ? "Unable to interpret value\n\n" : "");
  }
}

TEST(RelayMenu, UnknownAnswersAreReportedAndTheScreenRedrawn) {
  MenuHarness h(menuTestCapabilities(kRelay));
  setLevels(h);
  h.type("a \nA\nh\n\nx\n");
  EXPECT_FALSE(runRelayMenu(h.session));
  EXPECT_EQ(countOf(h.err.str(), "Unknown option ignored\n\n"), 4);
  EXPECT_EQ(countOf(h.out.str(), "Alarm relay settings"), 5);
  EXPECT_EQ(countOf(h.out.str(), "Test charger 1.16\n"), 5);
}

}  // namespace
}  // namespace sunlink
