// --watch end to end: the chgtune binary against the simulated charger, showing a known block in
// each of its three forms, ended by the user, and outliving a pulled adapter. Nothing may ever
// reach the charger.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

using namespace std::chrono_literals;
using Labels = std::vector<std::pair<std::string, std::string>>;

// A day's block of a charger with a load output, and an unknown label.
const Labels kKnownBlock = {
    {"PID", "0xA042"},    {"FW", "115"},   {"SER#", "HQ1234ABCDE"},
    {"V", "13280"},       {"I", "2450"},   {"VPV", "18100"},
    {"PPV", "32"},        {"CS", "3"},     {"MPPT", "2"},
    {"OR", "0x00000000"}, {"ERR", "0"},    {"LOAD", "ON"},
    {"IL", "300"},        {"H19", "1234"}, {"H20", "12"},
    {"H21", "45"},        {"H22", "34"},   {"H23", "60"},
    {"HSDS", "12"},       {"XY", "a b"},
};

// A charger that sends exactly these labels, a block every 100 ms.
SimulatedCharger chargerSending(const Labels& labels) {
  sim::Profile profile = sim::profileByName("load115");
  profile.textLabels.clear();
  for (const auto& [label, value] : labels) sim::setTextLabel(profile, label, value);
  sim::Faults faults;
  faults.textInterval = 100ms;
  return SimulatedCharger(profile, faults);
}

void expectNothingSent(SimulatedCharger& charger) {
  EXPECT_TRUE(charger.sim().waitUntilRead(10s));
  EXPECT_EQ(charger.sim().bytesReceived(), 0u);
}

TEST(WatchTest, ShowsAKnownBlockInEachForm) {
  Labels withoutLoad;
  for (const auto& pair : kKnownBlock) {
    if (pair.first != "LOAD" && pair.first != "IL") withoutLoad.push_back(pair);
  }
  const std::string logfmt =
      " battery_v=13.28 battery_a=2.45 panel_v=18.10 panel_w=32 load=on load_a=0.30 state=bulk "
      "tracker=\"MPP tracker active\" error=none off_reason=none yield_total_kwh=12.34 "
      "yield_today_kwh=0.12 yield_yesterday_kwh=0.34 max_power_today_w=45 "
      "max_power_yesterday_w=60 day=12 product_id=0xA042 firmware=1.15 serial=HQ1234ABCDE\n";
  const std::string json =
      R"({"product_id":"0xA042","firmware":"1.15","serial":"HQ1234ABCDE","battery_v":13.28,)"
      R"("battery_a":2.45,"panel_v":18.1,"panel_w":32,%LOAD%"state":3,"state_name":"bulk",)"
      R"("tracker":2,"tracker_name":"MPP tracker active","error":0,"error_name":"none",)"
      R"("off_reason":0,"off_reason_name":"none","yield_total_kwh":12.34,"yield_today_kwh":0.12,)"
      R"("yield_yesterday_kwh":0.34,"max_power_today_w":45,"max_power_yesterday_w":60,"day":12,)"
      R"("other":{"XY":"a b"}})";
  const std::string panel =
      "Battery  13.28 V  +2.45 A  Bulk (MPP tracker active)\n"
      "Panel    18.10 V  32 W\n"
      "Load     on  0.30 A\n"
      "Error    none\n"
      "Yield    today 0.12 kWh (max 45 W)  yesterday 0.34 kWh (max 60 W)  total 12.34 kWh  "
      "day 12\n";
  const std::string loadJson = R"("load":true,"load_a":0.3,)";
  struct Case {
    const char* name;
    Labels block;
    std::vector<std::string> args;
    StdoutTo stdoutTo;
  };
  const Case cases[] = {
      {"lines on a pipe", kKnownBlock, {}, StdoutTo::capture},
      {"JSON Lines", kKnownBlock, {"--json"}, StdoutTo::capture},
      {"JSON Lines of a charger without load output, with the dump",
       withoutLoad,
       {"--json", "--dump"},
       StdoutTo::capture},
      {"panel on a terminal", kKnownBlock, {}, StdoutTo::terminal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger = chargerSending(c.block);
    std::vector<std::string> args = {"--watch", "--count", "2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcessOptions options;
    options.stdoutTo = c.stdoutTo;
    const ProcessResult r = charger.start(args, options)->finish();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string out = r.out;
    if (c.stdoutTo == StdoutTo::terminal) {
      // Drawn, then drawn again over its six rows.
      const std::regex heading(
          "MPPT 75/15  v1\\.15  HQ1234ABCDE  [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\n");
      const std::string once = "MPPT 75/15  v1.15  HQ1234ABCDE  00:00:00\n" + panel;
      const std::string drawn =
          std::regex_replace(out, heading, "MPPT 75/15  v1.15  HQ1234ABCDE  00:00:00\n");
      EXPECT_EQ(drawn, once + "\033[6A\033[J" + once);
    } else if (c.args.empty()) {
      ASSERT_EQ(out.size(), 2 * (20 + logfmt.size())) << out;
      EXPECT_EQ(out.substr(20, logfmt.size()), logfmt);
    } else {
      std::string expected = json;
      const bool load = c.block.size() == kKnownBlock.size();
      expected.replace(expected.find("%LOAD%"), 6, load ? loadJson : "");
      std::istringstream lines(out);
      int n = 0;
      for (std::string line; std::getline(lines, line); ++n) {
        nlohmann::ordered_json object = nlohmann::ordered_json::parse(line);
        object.erase("time");
        EXPECT_EQ(object.dump(), expected);
      }
      EXPECT_EQ(n, 2);
    }
    // The banner and the dump on standard error; the dump saw the charger's blocks alone.
    EXPECT_EQ(r.err.rfind("SunLink chgtune 1.17\n", 0), 0u) << r.err;
    if (c.args.size() == 2) {
      EXPECT_NE(r.err.find("\r\nSER#\tHQ1234ABCDE"), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find("> :"), std::string::npos);
    expectNothingSent(charger);
  }
}

// Ctrl-C and SIGTERM end a watch as its normal end: status 0, the line as it was found. Ctrl-Z
// stops it like any program, and it goes on when continued.
TEST(WatchTest, EndsWithZeroWhenTheUserEndsItAndPutsTheLineBack) {
  struct Case {
    const char* name;
    int signal;
    bool stopFirst;
  };
  for (const Case& c : {Case{"Ctrl-C", SIGINT, false}, Case{"SIGTERM", SIGTERM, false},
                        Case{"Ctrl-Z, continued, Ctrl-C", SIGINT, true}}) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger = chargerSending(kKnownBlock);
    HeldLine line(charger);
    const std::string before = line.settings();
    ProcessOptions options;
    options.ownProcessGroup = true;
    auto run = charger.start({"--watch"}, options);
    ASSERT_TRUE(run->waitForOut("\n"));
    if (c.stopFirst) {
      run->signal(SIGTSTP);
      ASSERT_TRUE(run->waitForStop());
      run->signal(SIGCONT);
      // Blocks shown after it went on.
      const std::string& out = run->collected().out;
      ASSERT_TRUE(run->waitForOut("\n", std::count(out.begin(), out.end(), '\n') + 1));
    }
    run->signal(c.signal);
    const ProcessResult r = run->finish();
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(line.settings(), before);
    expectNothingSent(charger);
  }
}

// The adapter is pulled out while the watch runs (the simulator closes its side and its path
// goes), then plugged in again: the same name (a link, as /dev/serial/by-id has) comes back,
// leading to a new device. The watch says both and shows the new charger's blocks.
TEST(WatchTest, APulledAdapterIsWaitedForAndWatchedAgain) {
  TempDir dir;
  const std::string port = dir.file("usb-Serial_Adapter_A1B2C3-if00-port0");
  sim::Faults faults;
  faults.textInterval = 100ms;
  sim::Profile profile = sim::profileByName("load115");
  sim::setTextLabel(profile, "SER#", "FIRST");
  sim::ChargerSim first(profile, faults);
  std::filesystem::create_symlink(first.start(), port);

  Process run(chgtuneBinary(), {"--serial", port, "--watch", "--json"});
  ASSERT_TRUE(run.waitForOut("\"serial\":\"FIRST\""));
  first.unplug();
  std::filesystem::remove(port);
  ASSERT_TRUE(
      run.waitForErr(port + " went away (adapter unplugged?); waiting for it to come back."));

  sim::setTextLabel(profile, "SER#", "AGAIN");
  sim::ChargerSim again(profile, faults);
  std::filesystem::create_symlink(again.start(), port);
  ASSERT_TRUE(run.waitForErr(port + " is back; watching again."));
  ASSERT_TRUE(run.waitForOut("\"serial\":\"AGAIN\""));
  run.signal(SIGTERM);
  const ProcessResult r = run.finish();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(first.bytesReceived(), 0u);
  EXPECT_TRUE(again.waitUntilRead(10s));
  EXPECT_EQ(again.bytesReceived(), 0u);
}

}  // namespace
}  // namespace test
}  // namespace sunlink
