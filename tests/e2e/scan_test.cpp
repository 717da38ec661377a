// chgtune --scan: every port probed as discovery probes it, each charger listed with its identity
// and serial number, nothing written, each port left with the line settings it had.
#include "device/scan.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

using namespace std::chrono_literals;

sim::Faults sendingText() {
  sim::Faults faults;
  faults.textInterval = 20ms;
  return faults;
}

// In this process, with a short listening cycle: each probe listens until what it waits for has
// come (three identity labels, the serial number), not for the program's whole cycle.
TEST(ScanTest, ListsTheChargerOnTheNamedPortAndWritesNothing) {
  struct Case {
    const char* profile;
    std::vector<std::string> args;
    int status;
    std::string line;                 // after the port name; empty: none
    std::set<std::uint8_t> requests;  // the request codes allowed to reach the charger
  };
  const Case cases[] = {
      {"load115",
       {"--scan"},
       0,
       ": MPPT 75/15, firmware 1.15, serial SLA04200017\n",
       {CMD_PING, CMD_GET_DEVICE_ID}},
      {"load115",
       {"--scan", "--quiet"},
       0,
       ": MPPT 75/15, firmware 1.15, serial SLA04200017\n",
       {}},
      {"monitor", {"--scan"}, 11, "", {CMD_GET_DEVICE_ID}},
  };
  InProcessOptions listening;
  listening.timeouts.listenCycle = 20ms;
  listening.timeouts.listenLimit = 60s;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile + (" " + c.args.back()));
    SimulatedCharger charger(c.profile, sendingText());
    HeldLine line(charger);
    const std::string before = line.settings();
    InProcessResult r = charger.runInProcess(c.args, listening);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, "SunLink chgtune 1.17\n" + (c.line.empty() ? "" : charger.path() + c.line));
    EXPECT_TRUE(contains(r.err, "Checking: " + charger.path() + " => ")) << r.err;
    // The port tried, with what it gave, just before the verdict.
    EXPECT_EQ(contains(r.err, "Ports tried: " + charger.path() +
                                  " (not a charger)\nUnable to detect a MPPT charger.\n"),
              c.status == 11)
        << r.err;
    for (const HexMsg& request : charger.sim().requests())
      EXPECT_EQ(c.requests.count(request.bytes().at(0)), 1u) << request.toText();
    EXPECT_EQ(charger.sim().requests().empty(), c.requests.empty());
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    EXPECT_EQ(line.settings(), before) << "the port's line settings are put back";

    InProcessResult j = charger.runInProcess(
        c.args.size() == 1 ? std::vector<std::string>{"--scan", "--json"}
                           : std::vector<std::string>{"--scan", "--quiet", "--json"},
        listening);
    EXPECT_EQ(j.status, c.status) << j.err;
    const nlohmann::json document = nlohmann::json::parse(j.out);
    EXPECT_FALSE(document.contains("error")) << "no charger is an answer, not a failure";
    EXPECT_EQ(document.at("ports"),
              nlohmann::json::array({{{"port", charger.path()}, {"error", nullptr}}}));
    ASSERT_EQ(document.at("chargers").size(), c.line.empty() ? 0u : 1u);
    if (!c.line.empty()) {
      const nlohmann::json& found = document.at("chargers").at(0);
      EXPECT_EQ(found.at("port"), charger.path());
      EXPECT_EQ(found.at("product_id"), "0xA042");
      EXPECT_EQ(found.at("firmware"), "1.15");
      EXPECT_EQ(found.at("serial"), "SLA04200017");
      EXPECT_TRUE(found.at("stable_name").is_null()) << "a pseudo-terminal has no by-id name";
    }
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
}

// A port another program holds may be the charger a script looks for: it is named with its reason,
// and finding no charger is then no answer (-1, not 11).
TEST(ScanTest, APortThatCannotBeProbedIsNamedWithItsReason) {
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "text");
    SimulatedCharger charger("load115", sendingText());
    QmxSerial holder(charger.path());
    std::vector<std::string> args = {"--scan"};
    if (json) args.push_back("--json");
    ProcessResult r = charger.run(args);
    EXPECT_EQ(r.exitCode, 255) << r.err;
    const std::string reason = "open " + charger.path() + ": Device or resource busy";
    EXPECT_TRUE(contains(
        r.err, "Checking: " + charger.path() + " => unable to open port\n" + reason + "\n"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "No MPPT charger found; not probed: " + charger.path() + "\n"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "Unable to detect a MPPT charger.")) << r.err;
    if (json) {
      const nlohmann::json document = nlohmann::json::parse(r.out);
      EXPECT_EQ(document.at("ports"),
                nlohmann::json::array({{{"port", charger.path()}, {"error", reason}}}));
      EXPECT_TRUE(document.at("chargers").empty());
      EXPECT_TRUE(document.at("error").is_string());
    } else {
      EXPECT_EQ(r.out, "SunLink chgtune 1.17\n");
    }
    EXPECT_EQ(charger.sim().requestCount(), 0u);
    holder.stop();
  }
}

TEST(ScanPorts, GoesOnPastTheFirstChargerAndClosesEveryPort) {
  auto first = std::make_unique<sim::ChargerSim>(sim::profileByName("load115"), sendingText());
  auto monitor = std::make_unique<sim::ChargerSim>(sim::profileByName("monitor"));
  auto second = std::make_unique<sim::ChargerSim>(sim::profileByName("recent"), sendingText());
  // Sends no TEXT: listed without a serial number once the listening limit has passed.
  auto quietOne = std::make_unique<sim::ChargerSim>(sim::profileByName("rotary113"));
  for (auto* sim : {first.get(), monitor.get(), second.get(), quietOne.get()}) sim->start();
  ExchangeTimeouts timeouts;
  timeouts.deviceId = 250ms;
  timeouts.listenCycle = 20ms;
  timeouts.listenLimit = 60s;  // ends as soon as a serial number arrives
  std::ostringstream progress;
  const std::vector<std::string> ports = {first->slavePath(), monitor->slavePath(),
                                          "/dev/chgtune-no-such-port", second->slavePath()};
  const ScanResult scan = scanPorts(ports, false, timeouts, progress);
  std::vector<ScannedCharger> found = scan.chargers;
  timeouts.listenLimit = 0s;
  const std::vector<ScannedCharger> silentText =
      scanPorts({quietOne->slavePath()}, false, timeouts, progress).chargers;
  found.insert(found.end(), silentText.begin(), silentText.end());

  ASSERT_EQ(found.size(), 3u) << progress.str();
  EXPECT_EQ(scanLine(found[0]),
            first->slavePath() + ": MPPT 75/15, firmware 1.15, serial SLA04200017");
  EXPECT_EQ(found[1].port, second->slavePath());
  EXPECT_EQ(found[1].name, "MPPT 100/50 Sim");
  EXPECT_FALSE(found[1].serial.empty());
  EXPECT_EQ(found[2].port, quietOne->slavePath());
  EXPECT_TRUE(contains(scanLine(found[2]), ", no serial number")) << scanLine(found[2]);
  EXPECT_TRUE(contains(progress.str(), " => no mppt charger, skipped\n")) << progress.str();
  // Only the port that could not be opened has a reason, on its own line after its verdict.
  const std::string reason = "open /dev/chgtune-no-such-port: No such file or directory";
  EXPECT_TRUE(contains(progress.str(), " => unable to open port\n" + reason + "\n"))
      << progress.str();
  ASSERT_EQ(scan.ports.size(), ports.size());
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(scan.ports[i].port, ports[i]);
    EXPECT_EQ(scan.ports[i].failure, i == 2 ? reason : "");
  }
  for (auto* sim : {first.get(), monitor.get(), second.get(), quietOne.get()}) {
    EXPECT_EQ(setRequestCount(*sim), 0u);
    // Every port was closed again: it opens anew.
    EXPECT_NO_THROW(QmxSerial(sim->slavePath()));
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
