// The one-shot commands --reset, --erase and --clock run as a user runs them.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace test
}  // namespace sunlink
