// The run sequence end to end: the real chgtune binary on a simulated charger, with what reached
// the charger and the exit status checked.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/serial_ports.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/e2e_support.h"
#include "support/process.h"

namespace sunlink {
namespace {

using sim::ChargerSim;
using sim::Faults;
using sim::Write;
using test::occurrences;
using test::ProcessResult;
using test::runChgtune;
using test::SimulatedCharger;

constexpr std::uint16_t REG_ABSORPTION_VOLTAGE = 0xEDF7;  // 0.01 V

const std::string notStored = "Input ended before x was typed: the settings were not stored.\n";

std::vector<std::uint16_t> writtenRegisters(const ChargerSim& sim) {
  std::vector<std::uint16_t> ids;
  for (const Write& write : sim.writes()) ids.push_back(write.id);
  return ids;
}

bool wrote(const ChargerSim& sim, std::uint16_t id, const sim::RegisterBytes& value) {
  for (const Write& write : sim.writes())
    if (write.id == id && write.value == value) return true;
  return false;
}

TEST(RunTest, MenuInputEndingBeforeXStoresNothingAndFails) {
  const struct {
    const char* name;
    const char* input;
  } cases[] = {
      {"no input at all", ""},
      {"a change, then the end", "a\n14.2\n"},
      {"an unknown key, then the end", "zz\n"},
      {"the end in the middle of a value prompt", "a\n"},
  };
  for (const auto& c : cases) {
    SimulatedCharger charger("load115");
    const ProcessResult run = charger.run({}, c.input);
    EXPECT_EQ(run.exitCode, 255) << c.name;
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_GE(run.err.size(), notStored.size()) << c.name;
    EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), notStored.size())),
              notStored)
        << c.name;
    EXPECT_TRUE(charger.sim().writes().empty()) << c.name;
    EXPECT_TRUE(charger.sim().chargerOn()) << c.name;
  }
}

TEST(RunTest, MenuExitStoresOnlyWhenSomethingChanged) {
  {
    SimulatedCharger charger("load115");
    const ProcessResult run = charger.run({}, "x\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(charger.sim().writes().empty());
  }
  // Answers with CR LF line ends (a script written on Windows) read as with LF.
  for (const char* input : {"a\n14.2\nx\n", "a\r\n14.2\r\nx\r\n"}) {
    SimulatedCharger charger("load115");
    const ProcessResult run = charger.run({}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(wrote(charger.sim(), REG_ABSORPTION_VOLTAGE, sim::u16(1420)));
    EXPECT_TRUE(wrote(charger.sim(), REG_DEVICE_MODE, sim::u8(3)) ||
                wrote(charger.sim(), REG_DEVICE_MODE, sim::u16(3)));
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

TEST(RunTest, AFailedStoreEndsWithItsStatusAfterThePrintout) {
  Faults refuseAbsorption;
  refuseAbsorption.refuseSet = {REG_ABSORPTION_VOLTAGE};
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* input;
  } cases[] = {
      {"command-line setter", {"--abs", "14.2"}, ""},
      {"menu", {}, "a\n14.2\nx\n"},
  };
  for (const auto& c : cases) {
    SimulatedCharger charger("load115", refuseAbsorption);
    const ProcessResult run = charger.run(c.args, c.input);
    EXPECT_EQ(run.exitCode, 95) << c.name << "\n" << run.err;
    // After the last menu prompt (if any) comes the store and then the settings, once.
    const std::size_t lastPrompt = run.out.rfind("Select an option");
    const std::string afterMenu = run.out.substr(lastPrompt == std::string::npos ? 0 : lastPrompt);
    EXPECT_EQ(occurrences(afterMenu, "Battery Type = User Defined"), 1u) << c.name << "\n"
                                                                         << run.out;
    EXPECT_TRUE(charger.sim().chargerOn()) << c.name;
  }
}

TEST(RunTest, CommandLineChangesAreAppliedTogetherAndStoredOnce) {
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--abs", "14.2", "--float", "bogus"});
  // The accepted one is stored; the run does not end as a success with one refused.
  EXPECT_EQ(run.exitCode, 255) << run.err;
  EXPECT_NE(run.err.find("Unable to set float voltage\n"), std::string::npos) << run.err;
  EXPECT_TRUE(wrote(charger.sim(), REG_ABSORPTION_VOLTAGE, sim::u16(1420)));
  // One store: the charger is switched off and on once.
  std::size_t switches = 0;
  for (std::uint16_t id : writtenRegisters(charger.sim())) switches += id == REG_DEVICE_MODE;
  EXPECT_EQ(switches, 2u);
}

TEST(RunTest, EveryRefusedChangeFallsThroughToTheMenu) {
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--float", "bogus"}, "x\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Unable to set float voltage\n"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("x - Exit and Save"), std::string::npos) << run.out;
  EXPECT_TRUE(charger.sim().writes().empty());
}

TEST(RunTest, GetPrintsAndChangesNothing) {
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--get", "--sys", "24"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("SunLink chgtune 1.17\n\n", 0), 0u) << run.out;
  EXPECT_EQ(occurrences(run.out, "Battery Type = "), 1u) << run.out;
  EXPECT_TRUE(charger.sim().writes().empty());
}

TEST(RunTest, OnlyTheFirstOneShotCommandRuns) {
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--reset", "--erase", "--clock"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(charger.sim().factoryResets(), 1);
  EXPECT_EQ(charger.sim().historyClears(), 0);
}

TEST(RunTest, AnUnreadableSettingsFileIsNotUploaded) {
  char name[] = "/tmp/chgtune_upload_XXXXXX";
  const int fd = ::mkstemp(name);
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::ofstream(name) << "<qmx><vregs><unclosed></qmx>";
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--upload", name});
  std::remove(name);
  EXPECT_EQ(run.exitCode, 29) << run.err;
  EXPECT_TRUE(charger.sim().writes().empty());
}

TEST(RunTest, IdentificationRefusalsEndWithTheirStatusAndNothingElse) {
  // The refusal ends the run from inside the identification conversation, with the link in use;
  // the exit must still be an orderly one.
  const struct {
    const char* profile;
    int status;
  } cases[] = {{"bootloader", 81}, {"monitor", 91}};
  for (const auto& c : cases) {
    SimulatedCharger charger(c.profile);
    const ProcessResult run = charger.run({"--get"});
    EXPECT_EQ(run.exitCode, c.status) << c.profile << "\n" << run.err;
    EXPECT_EQ(run.termSignal, 0) << c.profile;
    EXPECT_EQ(run.out, "SunLink chgtune 1.17\n\n") << c.profile;
    EXPECT_TRUE(charger.sim().writes().empty()) << c.profile;
  }
}

// A port named without --serial, one that does not exist, or one the user may not open: a message
// that names the problem (and the port), status -1, and nothing sent to any port.
TEST(RunTest, PortProblemsEndTheRunBeforeAnythingIsSent) {
  SimulatedCharger charger("load115");
  const std::string path = charger.path();
  // Only the members of a group that is not the user's may use the port.
  struct stat node {};
  ASSERT_EQ(::stat(path.c_str(), &node), 0);
  if (::geteuid() == 0) {
    const group* other = ::getgrnam("dialout");
    ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(-1), other ? other->gr_gid : 0), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), S_IRGRP | S_IWGRP), 0);
  ASSERT_EQ(::stat(path.c_str(), &node), 0);
  const std::string group = ::getgrgid(node.st_gid)->gr_name;

  const std::string positional =
      "too many positional options have been specified on the "
      "command line\nname the serial port with --serial PORT\n";
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"port named without --serial", {path, "--get"}, positional},
      {"port named after --", {"--get", "--", "-s", path}, positional},
      {"no such port",
       {"--serial", "/dev/chgtune-no-such-port", "--get"},
       "open /dev/chgtune-no-such-port: No such file or directory\n"},
      {"no permission",
       {"--serial", path, "--get"},
       "open " + path + ": Permission denied\nHint: you may not open " + path +
           "; serial ports are opened by the members of the group that owns them: add your "
           "user to \"" +
           group + "\" (sudo usermod -a -G " + group +
           " $USER) and log in "
           "again.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ProcessOptions asUser;
    asUser.unprivileged = true;
    const ProcessResult run = test::Process(test::chgtuneBinary(), c.args, asUser).finish();
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "SunLink chgtune 1.17\n");
    EXPECT_EQ(charger.sim().requestCount(), 0u);
  }
  ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
}

// Discovery that finds no port to probe says so before its verdict. Only where the machine has no
// serial port: a test never sends requests to real equipment.
TEST(RunTest, DiscoveryWithoutPortsSaysThereWereNone) {
  if (!listSerialPorts().empty()) GTEST_SKIP() << "this machine has serial ports";
  const ProcessResult run = runChgtune({"--get"});
  EXPECT_EQ(run.exitCode, 11);
  EXPECT_EQ(run.err, "no serial ports found\nUnable to detect a MPPT charger.\n");
}

TEST(RunTest, DumpWithSerialShowsTheTrafficFromTheFirstRequest) {
  SimulatedCharger charger("load115");
  const ProcessResult run = charger.run({"--dump", "--get"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The first thing on the line is identification's ping, so the dump starts with it.
  EXPECT_EQ(run.out.rfind("SunLink chgtune 1.17\n\n> :154", 0), 0u) << run.out.substr(0, 200);
  EXPECT_NE(run.out.find("< :5"), std::string::npos);
}

}  // namespace
}  // namespace sunlink
