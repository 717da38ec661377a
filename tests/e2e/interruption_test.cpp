// Runs that are interrupted or cannot write their output: Ctrl-C, kill, a dropped session and
// Ctrl-Z sent while the charger is switched off for a store, or before it; standard output on a
// closed pipe or a full disk. The charger must end switched on, and the port as it was found.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "platform/signals.h"
#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

using namespace std::chrono_literals;

// The simulator holds back its answer to the store's write of the absorption voltage, so the
// program is known to be inside the store, with the charger switched off, while the test acts.
sim::Faults holdAbsorptionWrite() {
  sim::Faults faults;
  faults.holdReplyOnRegister = REG_ABSORPTION_VOLTAGE;
  faults.holdOnSetOnly = true;
  return faults;
}

// The requests that reached the charger after the first write of id, as command codes and, for
// register requests, ids: "1" for a ping, "8:0202" for a set of 0x0202.
std::vector<std::string> requestsAfterWriteOf(const sim::ChargerSim& sim, std::uint16_t id) {
  std::vector<std::string> after;
  bool seen = false;
  for (const HexMsg& request : sim.requests()) {
    const auto& b = request.bytes();
    char text[16];
    if (b.size() >= 4)
      std::snprintf(text, sizeof text, "%X:%04X", b[0], b[1] | b[2] << 8);
    else
      std::snprintf(text, sizeof text, "%X", b.empty() ? 0 : b[0]);
    if (seen) after.push_back(text);
    if (!seen && b.size() >= 4 && b[0] == CMD_SET_REGISTER && (b[1] | b[2] << 8) == id) seen = true;
  }
  return after;
}

TEST(InterruptionTest, SignalDuringTheStoreEndsItAfterTheRequestInFlightWithTheChargerOn) {
  struct Case {
    std::vector<int> signals;  // sent in order; the first decides
    const char* name;          // of the first
  };
  for (const Case& c :
       {Case{{SIGINT}, "SIGINT"}, Case{{SIGTERM}, "SIGTERM"}, Case{{SIGHUP}, "SIGHUP"},
        Case{{SIGQUIT}, "SIGQUIT"}, Case{{SIGINT, SIGTERM}, "SIGINT"}}) {
    SCOPED_TRACE(std::to_string(c.signals.size()) + " signal(s), first " + c.name);
    SimulatedCharger charger("load115", holdAbsorptionWrite());
    HeldLine line(charger);
    const std::string before = line.settings();
    auto run = charger.start({"--verbose", "--abs", "14.2"});
    ASSERT_TRUE(charger.sim().waitForHeldReply(60s));
    for (int signal : c.signals) {
      run->signal(signal);
      // Received and held: from here on no further request may reach the charger.
      ASSERT_TRUE(run->waitForErr("store: " + terminationRequestName(signal) + " received"));
    }
    charger.sim().releaseHeldReply();
    ProcessResult r = run->finish();

    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 128 + c.signals.front()) << r.err;
    const std::string report =
        std::string("Store interrupted by ") + c.name + ": settings not written: battery_type; ";
    ASSERT_TRUE(contains(r.err, report)) << r.err;
    std::string said = r.err.substr(r.err.find(report));
    said = said.substr(0, said.find('\n'));
    EXPECT_FALSE(contains(said, "absorption_voltage")) << said;
    EXPECT_TRUE(contains(said, "; the charger confirmed it is switched on.")) << said;
    // After the write in flight: the switch-on and nothing else, no resend, no other setting.
    EXPECT_EQ(requestsAfterWriteOf(charger.sim(), REG_ABSORPTION_VOLTAGE),
              (std::vector<std::string>{"1", "8:0202", "8:0200"}));
    const auto writes = writtenValues(charger.sim());
    ASSERT_GE(writes.size(), 5u);
    EXPECT_EQ(std::vector<WrittenValue>(writes.begin(), writes.begin() + 2), chargerOffWrites());
    EXPECT_EQ(writes[writes.size() - 3], (WrittenValue{REG_ABSORPTION_VOLTAGE, "058C"}));
    EXPECT_EQ(std::vector<WrittenValue>(writes.end() - 2, writes.end()), chargerOnWrites());
    EXPECT_TRUE(charger.sim().chargerOn());
    EXPECT_EQ(line.settings(), before) << "the port is left as it was found";
  }
}

TEST(InterruptionTest, CtrlZDuringTheStoreStopsTheRunOnlyOnceTheChargerIsOn) {
  SimulatedCharger charger("load115", holdAbsorptionWrite());
  ProcessOptions jobControl;
  jobControl.ownProcessGroup = true;
  auto run = charger.start({"--abs", "14.2"}, jobControl);
  ASSERT_TRUE(charger.sim().waitForHeldReply(60s));
  run->signal(SIGTSTP);
  charger.sim().releaseHeldReply();
  ASSERT_TRUE(run->waitForStop());
  // Stopped: the whole store has reached the charger, the switch-on last.
  const auto writes = writtenValues(charger.sim());
  ASSERT_GE(writes.size(), 4u);
  EXPECT_EQ(std::vector<WrittenValue>(writes.end() - 2, writes.end()), chargerOnWrites());
  EXPECT_TRUE(charger.sim().chargerOn());
  run->signal(SIGCONT);
  ProcessResult r = run->finish();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Battery Absorption Voltage = 14.20V")) << r.out;
}

TEST(InterruptionTest, PortIsLeftAsItWasFound) {
  sim::Faults holdRead;  // the retrieve's read of the absorption voltage: before any write
  holdRead.holdReplyOnRegister = REG_ABSORPTION_VOLTAGE;
  struct Case {
    const char* name;
    const char* profile;
    sim::Faults faults;
    std::vector<std::string> args;
    int signal;  // sent once the simulator holds a reply back; 0: none
    int exitCode;
    int termSignal;
  };
  const Case cases[] = {
      {"normal end", "load115", {}, {"--get"}, 0, 0, 0},
      {"refusal during identification", "monitor", {}, {"--get"}, 0, 91, 0},
      {"menu input ended", "load115", {}, {}, 0, 255, 0},
      {"Ctrl-C before the store", "load115", holdRead, {"--abs", "14.2"}, SIGINT, -1, SIGINT},
      {"kill before the store", "load115", holdRead, {"--abs", "14.2"}, SIGTERM, -1, SIGTERM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger(c.profile, c.faults);
    HeldLine line(charger);
    const std::string before = line.settings();
    auto run = charger.start(c.args);
    if (c.signal != 0) {
      ASSERT_TRUE(charger.sim().waitForHeldReply(60s));
      run->signal(c.signal);
    }
    ProcessResult r = run->finish();
    EXPECT_EQ(r.termSignal, c.termSignal) << "outside a store a signal keeps its effect";
    if (c.termSignal == 0) {
      EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    }
    EXPECT_TRUE(writtenValues(charger.sim()).empty());
    EXPECT_EQ(line.settings(), before);
  }
}

TEST(InterruptionTest, OutputThatCannotBeWrittenFailsTheRunAfterTheStore) {
  sim::Faults refuseType;  // the battery type, written after the absorption voltage
  refuseType.refuseSet = {0xEDF1};
  struct Case {
    const char* name;
    StdoutTo stdoutTo;
    sim::Faults faults;
    int exitCode;
  };
  for (const Case& c : {Case{"closed pipe", StdoutTo::closedPipe, {}, 255},
                        Case{"full disk", StdoutTo::devFull, {}, 255},
                        Case{"full disk and a refused write", StdoutTo::devFull, refuseType, 95}}) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger("load115", c.faults);
    ProcessOptions options;
    options.stdoutTo = c.stdoutTo;
    ProcessResult r = charger.start({"--abs", "14.2"}, options)->finish();
    EXPECT_EQ(r.termSignal, 0) << "a closed pipe does not end the run";
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(contains(r.err, "Standard output could not be written")) << r.err;
    // The work with the charger was done all the same.
    const auto writes = writtenValues(charger.sim());
    ASSERT_GE(writes.size(), 4u);
    EXPECT_NE(std::find(writes.begin(), writes.end(), WrittenValue{REG_ABSORPTION_VOLTAGE, "058C"}),
              writes.end());
    EXPECT_EQ(std::vector<WrittenValue>(writes.end() - 2, writes.end()), chargerOnWrites());
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
