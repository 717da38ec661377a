// Command-line changes stored into a simulated charger: exactly which registers are written, in
// which order and width, that the charger is switched off around the store and always on again,
// and the exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

constexpr std::uint16_t kAbsorption = 0xEDF7;
constexpr std::uint16_t kFloat = 0xEDF6;
constexpr std::uint16_t kBatteryType = 0xEDF1;
constexpr std::uint16_t kCurrent = 0xEDF0;

std::string valueOf(const std::vector<WrittenValue>& writes, std::uint16_t id) {
  for (const WrittenValue& w : writes)
    if (w.id == id) return w.value;
  return "(not written)";
}

// The writes a store makes: off, the settings, on. Fails the test when the frame is broken.
std::vector<WrittenValue> settingsWrites(const std::vector<WrittenValue>& all) {
  const auto off = chargerOffWrites();
  const auto on = chargerOnWrites();
  EXPECT_GE(all.size(), off.size() + on.size());
  if (all.size() < off.size() + on.size()) return {};
  EXPECT_TRUE(std::equal(off.begin(), off.end(), all.begin()));
  EXPECT_TRUE(std::equal(on.begin(), on.end(), all.end() - on.size()));
  return std::vector<WrittenValue>(all.begin() + off.size(), all.end() - on.size());
}

TEST(StoreTest, AbsorptionOptionStoresTheTypedDecimalValue) {
  sim::Faults faults;
  faults.checkWidths = true;  // a write in another width than the register's is refused
  SimulatedCharger charger("load115", faults);
  sim::ChargerSim& sim = charger.sim();
  ProcessResult r = charger.run({"--abs", "14.35"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");

  const auto writes = settingsWrites(writtenValues(sim));
  EXPECT_EQ(valueOf(writes, kAbsorption), "059B");  // 14.35 V, not 14.34 V
  EXPECT_EQ(valueOf(writes, kBatteryType), "FF");   // the charge settings are now the user's
  EXPECT_EQ(valueOf(writes, kFloat), "0564");       // unchanged values are written back as read
  for (const WrittenValue& w : writes) {
    EXPECT_EQ(w.value.size(), 2 * sim.registerValue(w.id).size()) << w;
    EXPECT_NE(w.id, REG_DEVICE_MODE) << "the charger is switched only around the store";
  }
  EXPECT_TRUE(sim.chargerOn());
  const std::size_t banner = r.out.find("=== Storing settings to the mppt charger ===\n");
  ASSERT_NE(banner, std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Battery Absorption Voltage = 14.35V\n", banner), std::string::npos)
      << "the settings are printed after the store";
}

TEST(StoreTest, ChargeVoltagesOutsideTheSystemRangeAreRefusedOtherValuesClamped) {
  struct Case {
    const char* option;
    const char* text;
    std::uint16_t reg;
    const char* stored;  // empty: refused, the message names the range
    const char* message;
  };
  for (const Case& c :
       {Case{"--abs", "144", kAbsorption, "",
             "absorption voltage must be between 9.00 and 17.40 V"},
        Case{"--float", "5", kFloat, "", "float voltage must be between 9.00 and 17.40 V"},
        Case{"--abs", "17.4", kAbsorption, "06CC", ""},       // 145 % of 12 V
        Case{"--abs", "13,8V", kAbsorption, "0564", ""},      // decimal comma, unit
        Case{"--current", "65535", kCurrent, "0096", ""}}) {  // clamped to the 15 A rating
    SCOPED_TRACE(std::string(c.option) + " " + c.text);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({c.option, c.text});
    if (*c.stored) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(valueOf(settingsWrites(writtenValues(charger.sim())), c.reg), c.stored);
    } else {
      // A refused option is a failed one: with none applied the menu opens, and at the end of its
      // input nothing is stored.
      EXPECT_TRUE(contains(r.err, std::string(c.message) + "\n\nUnable to set ")) << r.err;
      EXPECT_EQ(r.exitCode, 255);
      EXPECT_TRUE(writtenValues(charger.sim()).empty());
    }
  }
}

TEST(StoreTest, ChangesThatEndEqualToWhatWasReadStoreNothing) {
  struct Case {
    const char* profile;  // rotary113 is user defined at 14.40 V; load115 on its factory table
    std::vector<std::string> args;
    const char* input;
  };
  const Case cases[] = {
      {"rotary113", {"--abs", "14.4"}, ""},  // accepted, not a failure: no "Unable to set"
      {"load115", {"--table"}, ""},
      {"rotary113", {}, "a\n14.40\nx\n"},
      {"rotary113", {}, "a\n14.2\na\n14.4\nx\n"},  // changed and changed back
      {"load115", {}, "a\n\nx\n"},                 // cancelled: the table stays the charger's
      {"load115", {}, "a\nabc\nx\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " " + (c.args.empty() ? c.input : c.args[0]));
    SimulatedCharger charger(c.profile);
    ProcessResult r = charger.run(c.args, c.input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "Unable to set")) << r.err;
    EXPECT_TRUE(writtenValues(charger.sim()).empty()) << "no charger off/on cycle";
    EXPECT_FALSE(contains(r.out, "=== Storing settings")) << r.out;
  }
}

TEST(StoreTest, SeveralOptionsGiveOneStore) {
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--abs", "14.4", "--current", "10", "--float", "13.5"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto all = writtenValues(charger.sim());
  EXPECT_EQ(std::count(all.begin(), all.end(), chargerOffWrites()[1]), 1);
  const auto writes = settingsWrites(all);
  EXPECT_EQ(valueOf(writes, kAbsorption), "05A0");
  EXPECT_EQ(valueOf(writes, kFloat), "0546");
  EXPECT_EQ(valueOf(writes, kCurrent), "0064");
}

TEST(StoreTest, RefusedWriteFailsTheRunButTheRestIsStoredAndTheChargerIsOn) {
  sim::Faults faults;
  faults.refuseSet = {kAbsorption};
  SimulatedCharger charger("load115", faults);
  ProcessResult r = charger.run({"--abs", "14.4"});
  EXPECT_EQ(r.exitCode, 95) << "a failed store is not reported as success";
  const auto writes = settingsWrites(writtenValues(charger.sim()));
  EXPECT_EQ(valueOf(writes, kAbsorption), "(not written)");
  EXPECT_EQ(valueOf(writes, kFloat), "0564") << "later settings are still written";
  EXPECT_TRUE(charger.sim().chargerOn());
  EXPECT_TRUE(contains(r.out, "Battery Absorption Voltage = ")) << "printed after the store";
}

TEST(StoreTest, RefusedOptionGoesToTheMenuAndEndOfInputStoresNothing) {
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--sys", "99"}, "");
  EXPECT_TRUE(contains(r.err, "Unable to set battery voltage\n")) << r.err;
  EXPECT_TRUE(contains(r.out, "x - Exit and Save")) << r.out;
  EXPECT_EQ(r.exitCode, 255);
  EXPECT_TRUE(contains(r.err, "not stored")) << r.err;
  EXPECT_TRUE(writtenValues(charger.sim()).empty());
}

TEST(StoreTest, ChargerThatGoesSilentMidStoreIsSwitchedOnAgainWhenItAnswers) {
  // The absorption write and its nine resends go unanswered (ten attempts of five seconds), so the
  // store fails part-way; the charger answers again for the charger-on writes.
  sim::Faults faults;
  faults.silentOnRegister = kAbsorption;
  faults.silentOnSetOnly = true;
  faults.silentRequests = 10;
  SimulatedCharger charger("load115", faults);
  ProcessResult r = charger.run({"--abs", "14.4"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(contains(r.err, "ERROR")) << r.err;
  const auto all = writtenValues(charger.sim());
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(std::vector<WrittenValue>(all.end() - 2, all.end()), chargerOnWrites());
  EXPECT_TRUE(charger.sim().chargerOn());
}

// The switch-on after a store was refused: the run must not end as a success, on every path that
// stores, and the user is told the charger may be off.
TEST(StoreTest, SwitchOnThatIsRefusedFailsTheRun) {
  TempDir dir;
  writeFile(dir.file("abs.xml"),
            "<qmx><vregs><vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x058C\"/>"
            "</vregs></qmx>");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* input;
    bool refuseAbsorption;
    int exitCode;
  };
  for (const Case& c :
       {Case{"command line", {"--abs", "14.2"}, "", false, 22},
        Case{"menu", {}, "a\n14.2\nx\n", false, 22},
        Case{"upload", {"--upload", dir.file("abs.xml")}, "", false, 22},
        Case{"a store that failed keeps its status", {"--abs", "14.2"}, "", true, 95}}) {
    SCOPED_TRACE(c.name);
    sim::Faults faults;
    faults.refuseSwitchOn = true;
    if (c.refuseAbsorption) faults.refuseSet = {kAbsorption};
    SimulatedCharger charger("load115", faults);
    ProcessResult r = charger.run(c.args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(contains(r.err, "the charger did not confirm it is switched on") ||
                contains(r.err, "The charger did not confirm it is switched on"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "may be left off (run chgtune again, or power-cycle the charger)."))
        << r.err;
    EXPECT_FALSE(charger.sim().chargerOn());
    // The switch-on was tried once, last: the unlock, then the refused mode write.
    const auto requests = charger.sim().requests();
    ASSERT_GE(requests.size(), 2u);
    const auto& last = requests.back().bytes();
    ASSERT_GE(last.size(), 5u);
    EXPECT_EQ(last[0], CMD_SET_REGISTER);
    EXPECT_EQ(last[1] | last[2] << 8, REG_DEVICE_MODE);
    EXPECT_EQ(last[4], DEVICE_MODE_ON);
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
