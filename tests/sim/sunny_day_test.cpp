// The simulated charger's sunny day: what a watch sees move, at times the test chooses.
#include "sim/sunny_day.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace sunlink {
namespace sim {
namespace {

using std::chrono::milliseconds;
using Labels = std::map<std::string, long long>;

// A day of 1440 s: one second is one minute of the day, and the run starts at 06:00.
constexpr milliseconds kDay{1440 * 1000};

// The labels at hh:mm of day n (day 0 starts at 06:00), as numbers; OR as its mask.
Labels at(int n, int hours, int minutes, const DayCharger& charger = DayCharger()) {
  const long long minute = n * 1440LL + hours * 60 + minutes - 6 * 60;
  Labels numbers;
  for (const auto& pair : sunnyDayLabels(milliseconds(minute * 1000), kDay, charger))
    numbers[pair.first] = std::stoll(pair.second, nullptr, 0);
  return numbers;
}

TEST(SunnyDayTest, TheBatteryChargesThroughTheDayAndTheYieldRollsOverAtMidnight) {
  DayCharger charger;
  charger.loadMilliamps = 300;
  // Every five minutes of two and a half days, the states in the order they come, per day.
  std::map<long long, std::vector<long long>> statesOfDay;
  Labels before;
  for (int minute = 6 * 60; minute < 3 * 1440; minute += 5) {
    const Labels now = at(0, 0, minute, charger);
    SCOPED_TRACE("minute " + std::to_string(minute));
    std::vector<long long>& states = statesOfDay[now.at("HSDS")];
    if (states.empty() || states.back() != now.at("CS")) states.push_back(now.at("CS"));
    // The tracker and the off reason go with the state; the panel gives nothing at night.
    const long long cs = now.at("CS");
    EXPECT_EQ(now.at("MPPT"), cs == 3 ? 2 : cs == 0 ? 0 : 1);
    EXPECT_EQ(now.at("OR"), cs == 0 ? 1 : 0);
    EXPECT_EQ(now.at("ERR"), 0);
    if (cs == 0) {
      EXPECT_EQ(now.at("PPV"), 0);
      EXPECT_EQ(now.at("VPV"), 0);
      EXPECT_EQ(now.at("I"), -300);  // the load runs on the battery
    } else {
      EXPECT_GT(now.at("VPV"), now.at("V"));
    }
    if (cs == 4) {
      EXPECT_EQ(now.at("V"), 14400);
    } else if (cs == 5) {
      EXPECT_EQ(now.at("V"), 13800);
    } else if (cs == 3 && now.at("PPV") > 10) {
      EXPECT_GT(now.at("I"), 0);
    }
    if (before.empty()) {
      before = now;
      continue;
    }
    EXPECT_GE(now.at("H19"), before.at("H19"));
    if (now.at("HSDS") == before.at("HSDS")) {
      EXPECT_GE(now.at("H20"), before.at("H20"));
      EXPECT_GE(now.at("H21"), before.at("H21"));
      EXPECT_EQ(now.at("H22"), before.at("H22"));
    } else {
      // Midnight: today's yield and power become yesterday's, the day number counts on.
      EXPECT_EQ(now.at("HSDS"), before.at("HSDS") + 1);
      EXPECT_EQ(now.at("H22"), before.at("H20"));
      EXPECT_EQ(now.at("H23"), before.at("H21"));
      EXPECT_EQ(now.at("H20"), 0);
      EXPECT_EQ(now.at("H21"), 0);
    }
    before = now;
  }
  // Day 0 starts at sunrise; every later one at midnight.
  EXPECT_EQ(statesOfDay[0], (std::vector<long long>{3, 4, 5, 0}));
  EXPECT_EQ(statesOfDay[1], (std::vector<long long>{0, 3, 4, 5, 0}));
  EXPECT_EQ(statesOfDay.size(), 3u);

  // The panel follows the sun: more at ten than at seven, less at five than at three.
  EXPECT_GT(at(1, 10, 0).at("PPV"), at(1, 7, 0).at("PPV"));
  EXPECT_LT(at(1, 17, 0).at("PPV"), at(1, 15, 0).at("PPV"));
  // A day's yield is the same every sunny day, and the total holds every day's.
  const Labels evening = at(2, 23, 55);
  EXPECT_GT(evening.at("H20"), 0);
  EXPECT_EQ(evening.at("H20"), evening.at("H22"));
  EXPECT_GE(evening.at("H19"), 3 * evening.at("H20"));
  EXPECT_LE(evening.at("H19"), 3 * evening.at("H20") + 3);
}

TEST(SunnyDayTest, TheChargerFollowsItsVoltagesAndStopsForAnError) {
  DayCharger set;
  set.absorptionMillivolts = 14200;
  set.floatMillivolts = 13500;
  EXPECT_EQ(at(1, 12, 0, set).at("V"), 14200);
  EXPECT_EQ(at(1, 15, 0, set).at("V"), 13500);

  DayCharger failing;
  failing.error = 17;
  failing.loadMilliamps = 500;
  for (int hour : {3, 9, 12, 15}) {
    SCOPED_TRACE(hour);
    const Labels noon = at(1, hour, 0, failing);
    EXPECT_EQ(noon.at("ERR"), 17);
    EXPECT_EQ(noon.at("CS"), 2);
    EXPECT_EQ(noon.at("MPPT"), 0);
    EXPECT_EQ(noon.at("PPV"), 0);
    EXPECT_EQ(noon.at("I"), -500);
  }
  // In daylight the panel stands open, above its tracking voltage.
  EXPECT_GT(at(1, 12, 0, failing).at("VPV"), at(1, 12, 0).at("VPV"));
}

}  // namespace
}  // namespace sim
}  // namespace sunlink
