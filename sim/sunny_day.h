// A sunny day in the simulated charger's TEXT blocks, compressed into as many seconds as a demo or
// a test wants: the live values a watch shows, moving as on a real day.
//
// The run starts at sunrise of day 0. From sunrise to sunset (06:00 to 18:00) the panel's power
// follows the sun, highest at noon, and its voltage follows the tracker. The battery charges in
// bulk while its voltage rises to the absorption voltage, is held there in absorption until 13:12,
// then rests at the float voltage until sunset; at night the charger is off with "no input power"
// and the battery gives the load its current. The yield of the day grows from sunrise to sunset
// and rolls over to yesterday at midnight, when the day number counts on; the total grows with
// it. A raised error stops the charger in its fault state (no charge, the panel open); the yields
// go on as on a good day.
//
// Pure: a function of the time into the run, so a test sets the time it wants to see.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace sunlink {
namespace sim {

// What the day needs to know of the charger.
struct DayCharger {
  int absorptionMillivolts = 14400;
  int floatMillivolts = 13800;
  int loadMilliamps = 0;  // drawn by the load output day and night
  int error = 0;          // raised error code (0: none)
};

// The live labels at this time into a run whose days last dayLength (more than 0), in the order a
// charger sends them: V, I, VPV, PPV, CS, MPPT, OR, ERR, H19, H20, H21, H22, H23, HSDS.
std::vector<std::pair<std::string, std::string>> sunnyDayLabels(
    std::chrono::milliseconds sinceStart, std::chrono::milliseconds dayLength,
    const DayCharger& charger);

}  // namespace sim
}  // namespace sunlink
