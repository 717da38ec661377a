// The menus as a person sees them at a terminal: the real chgtune binary with its standard output
// on a pseudo-terminal, against a simulated charger.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

const std::string kClear = "\033[2J\033[H";

// What the screen shows after each clear: the output cut at every clear sequence (the part before
// the first clear is left out).
std::vector<std::string> screensAfterClears(const std::string& out) {
  std::vector<std::string> screens;
  for (std::size_t at = out.find(kClear); at != std::string::npos;) {
    const std::size_t begin = at + kClear.size();
    at = out.find(kClear, begin);
    screens.push_back(out.substr(begin, at == std::string::npos ? std::string::npos : at - begin));
  }
  return screens;
}

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(MenuTest, OnATerminalTheLastAnswersMessagesAreShownAgainAboveTheNextPrompt) {
  struct Redraw {
    std::string message;  // what the answer before the clear wrote on standard error
    std::string shown;    // where the redrawn screen shows it again: just above the key prompt
  };
  struct Case {
    const char* profile;
    const char* input;
    const char* firstScreen;      // part of what is shown before the first clear
    std::vector<Redraw> redraws;  // one per clear, in order
  };
  const Case cases[] = {
      {"load115",
       "zz\na\n20\nx\n",
       "x - Exit and Save\nSelect an option",
       {{"Unknown option ignored\n\n", "x - Exit and Save\nUnknown option ignored\n\nSelect an"},
        {"absorption voltage must be between 9.00 and 17.40 V, not 20 V\n\n",
         "x - Exit and Save\nabsorption voltage must be between 9.00 and 17.40 V, not 20 V\n\n"
         "Select an"}}},
      // Firmware 1.10 never stores a battery voltage setting: only auto detect is offered.
      {"rotary110",
       "v\n24\nx\n",
       "\nFirmware 1.10 cannot have its battery voltage setting changed over the serial port.\n"
       "Battery voltage setting (0=auto detect) [0]: \n",
       {{"Unable to interpret value\n\n",
         "rotary switch).\nUnable to interpret value\n\nSelect an option"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    SimulatedCharger charger(c.profile);
    const ProcessResult run =
        runProcessOnTerminal(CHGTUNE_BINARY, {"--serial", charger.path()}, c.input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(writtenValues(charger.sim()).empty());
    EXPECT_TRUE(contains(run.out.substr(0, run.out.find(kClear)), c.firstScreen)) << run.out;
    const std::vector<std::string> screens = screensAfterClears(run.out);
    ASSERT_EQ(screens.size(), c.redraws.size()) << run.out;
    for (std::size_t i = 0; i < screens.size(); ++i) {
      // Shown once, where the prompt is, and not again on the screens after it.
      EXPECT_TRUE(contains(screens[i], c.redraws[i].shown)) << screens[i];
      EXPECT_EQ(countOf(screens[i], c.redraws[i].message), 1) << screens[i];
      EXPECT_TRUE(contains(run.err, c.redraws[i].message)) << "still on standard error";
    }

    // Piped, the output is as it always was: no clear, no message on standard output.
    const ProcessResult piped = charger.run({}, c.input);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, run.err);
    EXPECT_FALSE(contains(piped.out, kClear));
    for (const Redraw& redraw : c.redraws) EXPECT_FALSE(contains(piped.out, redraw.message));
  }
}

// Typed at a terminal, e asks first and clears on y alone; input from a script clears at once.
TEST(MenuTest, ClearingTheHistoryAsksAtATerminalAndSaysWhenTheChargerRefuses) {
  struct Case {
    bool typed;
    const char* input;
    bool refuse;
    int clears;
  };
  const Case cases[] = {
      {false, "e\nx\n", false, 1},   {false, "e\nx\n", true, 0},   {true, "e\ny\nx\n", false, 1},
      {true, "e\ny\nx\n", true, 0},  {true, "e\n\nx\n", false, 0}, {true, "e\nyes\nx\n", false, 0},
      {true, "e\nn\nx\n", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.typed << " " << c.input);
    sim::Faults faults;
    if (c.refuse) faults.refuseSet = {REG_CLEAR_HISTORY};
    SimulatedCharger charger("load115", faults);
    ProcessOptions options;
    options.stdinText = c.input;
    options.stdinOnTerminal = c.typed;
    const ProcessResult run = charger.run({}, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(contains(run.out, "Clear the charger's history data? [y/N] \n"), c.typed) << run.out;
    EXPECT_EQ(contains(run.out, "\n=== Clear history ===\n"), c.clears + c.refuse == 1);
    EXPECT_EQ(contains(run.err, "Unable to clear history data\n"), c.refuse) << run.err;
    EXPECT_EQ(charger.sim().historyClears(), c.clears);
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
