// The one-shot commands --reset, --erase and --clock run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

TEST(CommandsTest, EachCommandWritesItsRegisterOnly) {
  struct Case {
    const char* option;
    const char* banner;
    std::uint16_t reg;
  };
  for (const Case& c :
       {Case{"--reset", "\n=== Reset settings to factory defaults ===\n", REG_RESTORE_DEFAULTS},
        Case{"--erase", "\n=== Clear history ===\n", REG_CLEAR_HISTORY}}) {
    SCOPED_TRACE(c.option);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({c.option});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, c.banner)) << r.out;
    EXPECT_EQ(writtenValues(charger.sim()), (std::vector<WrittenValue>{{c.reg, "0000"}}));
  }
}

TEST(CommandsTest, ClockIsSetToLocalMinutesSinceMidnight) {
  SimulatedCharger charger("load115");
  std::time_t before = std::time(nullptr);
  ProcessResult r = charger.run({"--clock"});
  std::time_t after = std::time(nullptr);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto writes = charger.sim().writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].id, REG_CLOCK);
  const int minutes = writes[0].value.at(0) | writes[0].value.at(1) << 8;
  std::tm a{}, b{};
  localtime_r(&before, &a);
  localtime_r(&after, &b);
  const int low = a.tm_hour * 60 + a.tm_min, high = b.tm_hour * 60 + b.tm_min;
  EXPECT_TRUE(minutes == low || minutes == high) << minutes;
  char banner[64];
  std::snprintf(banner, sizeof banner, "=== Set clock to %02d:%02d ===\n", minutes / 60,
                minutes % 60);
  EXPECT_TRUE(contains(r.out, banner)) << r.out;
}

TEST(CommandsTest, OnlyTheFirstCommandRuns) {
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--clock", "--erase", "--reset"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(writtenValues(charger.sim()),
            (std::vector<WrittenValue>{{REG_RESTORE_DEFAULTS, "0000"}}));
}

TEST(CommandsTest, RefusedWriteEndsWithTwentyTwo) {
  sim::Faults faults;
  faults.refuseSet = {REG_CLEAR_HISTORY};
  SimulatedCharger charger("load115", faults);
  ProcessResult r = charger.run({"--erase"});
  EXPECT_EQ(r.exitCode, 22);
  EXPECT_TRUE(contains(r.out, "=== Clear history ===")) << r.out;
  EXPECT_TRUE(writtenValues(charger.sim()).empty());
}

// One path runs per call; every option it leaves aside is named once on standard error with why,
// and none of them reaches the charger.
TEST(CommandsTest, OptionsThatARunLeavesAsideAreNamedAndNotApplied) {
  TempDir dir;
  const std::string saved = dir.file("saved.xml");
  {
    SimulatedCharger charger("load115");
    ASSERT_EQ(charger.run({"--download", saved}).exitCode, 0);
  }
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lines;    // the lines naming what was left aside
    std::vector<WrittenValue> writes;  // with a store, among the store's other writes
  } cases[] = {
      {{"--clock", "--abs", "15", "--erase"},
       0,
       {"--clock not run: one device command runs per call",
        "--abs not applied: --erase runs alone"},
       {{REG_CLEAR_HISTORY, "0000"}}},
      {{"--reset", "--erase", "--clock"},
       0,
       {"--erase and --clock not run: one device command runs per call"},
       {{REG_RESTORE_DEFAULTS, "0000"}}},
      {{"--get", "--abs", "14.5", "--force"},
       0,
       {"--abs not applied: --get changes nothing",
        "--force not applied: it only goes with --upload"},
       {}},
      {{"--download", dir.file("s.xml"), "--get", "--table", "--float", "13.5"},
       0,
       {"--get, --table and --float not applied: --download only saves the settings"},
       {}},
      {{"--compare", saved, "--reset", "--upload", saved, "--current", "10"},
       0,
       {"--reset not run: --compare changes nothing",
        "--upload and --current not applied: --compare changes nothing"},
       {}},
      {{"--scan", "--get", "--dump"},
       0,
       {"--get and --dump not applied: --scan only lists the chargers"},
       {}},
      {{"--quiet", "--get"},
       0,
       {"--quiet not applied: --serial names the port, so none is searched"},
       {}},
      {{"--scan", "--quiet"}, 0, {}, {}},
      {{"--abs", "14.2", "--float", "13.6", "--dump"}, 0, {}, {{0xEDF7, "058C"}, {0xEDF6, "0550"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.at(1));
    sim::Faults sendingText;
    sendingText.textInterval = std::chrono::milliseconds(20);
    SimulatedCharger charger("load115", sendingText);
    ProcessResult r = charger.run(c.args);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    std::size_t named = 0;
    for (std::size_t at = r.err.find(" not "); at != std::string::npos;
         at = r.err.find(" not ", at + 1))
      named +=
          r.err.compare(at, 10, " not run: ") == 0 || r.err.compare(at, 14, " not applied: ") == 0;
    EXPECT_EQ(named, c.lines.size()) << r.err;
    for (const std::string& line : c.lines)
      EXPECT_TRUE(contains("\n" + r.err, "\n" + line + "\n")) << r.err;
    const std::vector<WrittenValue> writes = writtenValues(charger.sim());
    const bool stored = contains(r.out, "=== Storing settings to the mppt charger ===");
    EXPECT_EQ(stored, c.args.front() == "--abs");
    if (stored) {
      for (const WrittenValue& w : c.writes)
        EXPECT_NE(std::find(writes.begin(), writes.end(), w), writes.end()) << w;
    } else {
      EXPECT_EQ(writes, c.writes);
      EXPECT_EQ(setRequestCount(charger.sim()), c.writes.size());
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
