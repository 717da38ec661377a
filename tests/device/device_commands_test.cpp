// The one-shot device commands against the simulated charger: what reaches the charger, what is
// printed, and the result.
#include "device/device_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

using Command = std::function<int(QmxSerial&, std::ostream&, std::ostream&)>;

struct Written {
  std::uint16_t id;
  std::uint16_t value;
  bool operator==(const Written& other) const { return id == other.id && value == other.value; }
};

std::ostream& operator<<(std::ostream& out, const Written& w) {
  return out << std::hex << "0x" << w.id << ":=0x" << w.value << std::dec;
}

struct CommandRun {
  int result = -100;
  std::string out;
  std::string err;
  std::vector<Written> accepted;   // writes the charger took, in order
  std::vector<std::uint16_t> set;  // every set request the charger received, refused ones too
};

// What the charger leaves unanswered.
enum class Silent { nothing, ping, writes };

// A charger that answers is given the program's own time-outs, so a busy machine (or an emulated
// one) never makes a reply late enough to be asked for twice; the exchange it leaves unanswered is
// given a short one.
CommandRun runAgainst(sim::Profile profile, const Command& command,
                      sim::Faults faults = sim::Faults(), Silent silent = Silent::nothing) {
  ExchangeTimeouts timeouts;
  if (silent == Silent::ping) timeouts.ping = std::chrono::milliseconds(30);
  if (silent == Silent::writes) timeouts.setRegister = std::chrono::milliseconds(30);
  test::SimLink charger(std::move(profile), faults, timeouts);
  std::ostringstream out;
  std::ostringstream err;
  CommandRun run;
  run.result = command(*charger.link, out, err);
  charger.link->stop();
  run.out = out.str();
  run.err = err.str();
  for (const sim::Write& write : charger.sim.writes()) {
    EXPECT_EQ(write.value.size(), 2u);
    run.accepted.push_back(
        Written{write.id, static_cast<std::uint16_t>(write.value.at(0) | write.value.at(1) << 8)});
  }
  run.set = charger.requestedIds(CMD_SET_REGISTER);
  return run;
}

Command clockAt(std::uint16_t minutes) {
  return [minutes](QmxSerial& link, std::ostream& out, std::ostream& err) {
    return setClock(link, out, err, [minutes] { return minutes; });
  };
}

TEST(DeviceCommands, ApplicationFirmwareTakesEachCommandsWrites) {
  struct Case {
    const char* name;
    Command command;
    std::uint16_t versionWord;
    std::string banner;
    std::vector<Written> writes;
  };
  const Case cases[] = {
      {"reset",
       resetToFactoryDefaults,
       0x4115,
       "\n=== Reset settings to factory defaults ===\n",
       {{0x0004, 0x0000}}},
      {"erase", clearHistory, 0x4115, "\n=== Clear history ===\n", {{0x1030, 0x0000}}},
      {"clock 23:59", clockAt(1439), 0x4115, "\n=== Set clock to 23:59 ===\n", {{0x2031, 0x059F}}},
      {"clock 00:00", clockAt(0), 0x4115, "\n=== Set clock to 00:00 ===\n", {{0x2031, 0x0000}}},
      {"clock 07:05", clockAt(425), 0x4115, "\n=== Set clock to 07:05 ===\n", {{0x2031, 425}}},
      {"off", chargerOff, 0x4115, "", {{0x0202, 0x0002}, {0x0200, 0x0004}}},
      {"on", chargerOn, 0x4115, "", {{0x0202, 0x0002}, {0x0200, 0x0003}}},
      // A release candidate is treated like an application.
      {"erase on a release candidate",
       clearHistory,
       0xC116,
       "\n=== Clear history ===\n",
       {{0x1030, 0x0000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Profile profile = sim::profileByName("load115");
    profile.versionWord = c.versionWord;
    const CommandRun run = runAgainst(profile, c.command);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, c.banner);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.accepted, c.writes);
  }
}

TEST(DeviceCommands, FirmwareWithoutApplicationGets81AndNoWrite) {
  struct Case {
    Command command;
    const char* message;
  };
  const Case cases[] = {
      {resetToFactoryDefaults,
       "Application required to reset to factory defaults... Skipping...\n"},
      {clearHistory, "Application required to clear history... Skipping...\n"},
      {clockAt(600), "Application required to set clock... Skipping...\n"},
      {chargerOff, "Application required to change the charger on/off state... Skipping...\n"},
      {chargerOn, "Application required to change the charger on/off state... Skipping...\n"},
  };
  for (std::uint16_t versionWord : {0x0116, 0x8116}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.message) + std::to_string(versionWord));
      sim::Profile profile = sim::profileByName("load115");
      profile.versionWord = versionWord;
      const CommandRun run = runAgainst(profile, c.command);
      EXPECT_EQ(run.result, 81);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, c.message);
      EXPECT_TRUE(run.set.empty());
    }
  }
}

TEST(DeviceCommands, RefusedWriteGives22AfterTheBanner) {
  sim::Faults faults;
  faults.refuseSet = {REG_CLEAR_HISTORY};
  const CommandRun run = runAgainst(sim::profileByName("load115"), clearHistory, faults);
  EXPECT_EQ(run.result, 22);
  EXPECT_EQ(run.out, "\n=== Clear history ===\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.set, std::vector<std::uint16_t>{REG_CLEAR_HISTORY});
}

TEST(DeviceCommands, RefusedUnlockLeavesTheChargerModeAlone) {
  sim::Faults faults;
  faults.refuseSet = {REG_DEVICE_MODE_UNLOCK};
  const CommandRun run = runAgainst(sim::profileByName("load115"), chargerOn, faults);
  EXPECT_EQ(run.result, 22);
  EXPECT_EQ(run.set, std::vector<std::uint16_t>{REG_DEVICE_MODE_UNLOCK});
  EXPECT_TRUE(run.accepted.empty());
}

TEST(DeviceCommands, SilentPortGives3AndWritesNothing) {
  const CommandRun run =
      runAgainst(sim::profileByName("silent"), resetToFactoryDefaults, sim::Faults(), Silent::ping);
  EXPECT_EQ(run.result, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "No response received (incorrect serial port?)\n");
  EXPECT_TRUE(run.set.empty());
}

TEST(DeviceCommands, PingReplyWithoutVersionGives3) {
  sim::Faults faults;
  faults.shortPing = true;
  const CommandRun run = runAgainst(sim::profileByName("load115"), clearHistory, faults);
  EXPECT_EQ(run.result, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "No ping reply (incorrect serial port?)\n");
  EXPECT_TRUE(run.set.empty());
}

TEST(DeviceCommands, ChargerThatStopsAnsweringMidCommandGives3) {
  // The ping is answered, the write never is: every attempt of the write runs out.
  sim::Faults faults;
  faults.silentAfter = 1;
  const CommandRun run =
      runAgainst(sim::profileByName("load115"), chargerOff, faults, Silent::writes);
  EXPECT_EQ(run.result, 3);
  // Each resend is announced, so that whoever waits at the terminal knows chgtune is still trying.
  std::string resends;
  for (int attempt = 2; attempt <= 10; ++attempt) {
    resends += "no answer from the charger to the switch-off write; trying again (attempt " +
               std::to_string(attempt) + " of 10)\n";
  }
  EXPECT_EQ(run.err, resends + "No response received (incorrect serial port?)\n");
  EXPECT_EQ(run.set, std::vector<std::uint16_t>(10, REG_DEVICE_MODE_UNLOCK));
}

}  // namespace
}  // namespace sunlink
