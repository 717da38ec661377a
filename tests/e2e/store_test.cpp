// Command-line changes stored into a simulated charger: exactly which registers are written, in
// which order and width, that the charger is switched off around the store and always on again,
// and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "protocol/registers.h"
#include "sim/profiles.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

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
  EXPECT_EQ(valueOf(writes, REG_ABSORPTION_VOLTAGE), "059B");  // 14.35 V, not 14.34 V
  EXPECT_EQ(valueOf(writes, REG_BATTERY_TYPE), "FF");  // the charge settings are now the user's
  EXPECT_EQ(valueOf(writes, REG_FLOAT_VOLTAGE),
            "(not written)");  // an unchanged value is left alone
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

// Values are refused, never adjusted: a value outside its setting's range, or with anything but
// blanks and the unit after its number, changes nothing; so does a float voltage that would end
// above the absorption voltage. The accepted options of the same run are stored, and the run then
// ends with the store's status, or 255. Each row asserts what reached the charger: no set request
// at all, or a store in which every setting is written as the charger held it except the accepted
// ones.
TEST(StoreTest, RefusedValuesChangeNothingAndOnlyTheAcceptedOnesAreStored) {
  struct Case {
    const char* profile;  // load115: 12 V, 15 A, absorption 14.40 V, float 13.80 V
    std::vector<std::string> args;
    const char* input;    // the menu's, when every option was refused or none given
    std::string message;  // on standard error
    int exitCode;
    std::map<std::uint16_t, std::string> stored;  // empty: no set request reached the charger
    sim::Faults faults = sim::Faults();
  };
  const std::string interpret = "Unable to interpret value\n\nUnable to set ";
  const std::string pair = " V: the float voltage may not exceed the absorption voltage\n\n";
  sim::Faults refuseAbsorption;
  refuseAbsorption.refuseSet = {REG_ABSORPTION_VOLTAGE};
  sim::Faults noRating;  // the rating register unanswered: a rating of 0, not checked
  noRating.refuseGet = {REG_MAX_CURRENT};
  const Case cases[] = {
      {"load115",
       {"--abs", "144"},
       "",
       "absorption voltage must be between 9.00 and 17.40 V, not 144 V\n\nUnable to set ",
       255,
       {}},
      {"load115",
       {"--float", "5"},
       "",
       "float voltage must be between 9.00 and 17.40 V, not 5 V",
       255,
       {}},
      {"load115",
       {"--current", "0"},
       "",
       "current limit must be between 0.1 and 15.0 A, not 0 A",
       255,
       {}},
      {"load115", {"--current", "-5"}, "", "between 0.1 and 15.0 A, not -5 A", 255, {}},
      {"load115", {"--current", "1000"}, "", "between 0.1 and 15.0 A, not 1000 A", 255, {}},
      {"load115", {"--current", "2.5e1"}, "", interpret + "charger current limit", 255, {}},
      {"load115", {"--current", "12.5%"}, "", interpret + "charger current limit", 255, {}},
      {"load115", {"--tempcomp", "1e9"}, "", interpret + "temperature compensation", 255, {}},
      {"load115",
       {"--tempcomp", "-30"},
       "",
       "temperature compensation must be between -21.00 and 21.00 mV/K, not -30 mV/K",
       255,
       {}},
      {"load115",
       {"--abslim", "24:30"},
       "",
       "absorption time limit must be between 0:01 and 24:00, not 24:30",
       255,
       {}},
      {"load115", {"--abslim", "6:-5"}, "", interpret + "absorption time limit", 255, {}},
      {"load115", {"--abslim", "7:"}, "", interpret + "absorption time limit", 255, {}},
      {"rc116", {"--eqv", "1,2,3"}, "", interpret + "equalisation voltage", 255, {}},
      {"rc116",
       {"--eqv", "20"},
       "",
       "equalisation voltage must be between 9.00 and 17.40 V",
       255,
       {}},
      {"load115",
       {"--float", "15"},
       "",
       "float voltage 15.00 V is above the absorption voltage 14.40" + pair + "Unable to set float",
       255,
       {}},
      {"load115",
       {"--abs", "13", "--float", "13.5"},
       "",
       "float voltage 13.50 V is above the absorption voltage 13.00" + pair +
           "Unable to set absorption voltage\nUnable to set float voltage\n",
       255,
       {}},
      // Accepted forms; the pair is judged on the values as they will be stored.
      {"load115",
       {"--abs", "17.4"},
       "",
       "",
       0,
       {{REG_ABSORPTION_VOLTAGE, "06CC"}, {REG_BATTERY_TYPE, "FF"}}},
      {"load115",
       {"--abs", "13,8 V"},
       "",
       "",
       0,
       {{REG_ABSORPTION_VOLTAGE, "0564"}, {REG_BATTERY_TYPE, "FF"}}},
      {"load115",
       {"--abs", "13", "--float", "12.5"},
       "",
       "",
       0,
       {{REG_ABSORPTION_VOLTAGE, "0514"}, {REG_FLOAT_VOLTAGE, "04E2"}, {REG_BATTERY_TYPE, "FF"}}},
      {"load115",
       {"--abslim", "6:30", "--current", "7,5 A"},
       "",
       "",
       0,
       {{REG_ABSORPTION_TIME_LIMIT, "028A"},
        {REG_MAXIMUM_CURRENT, "004B"},
        {REG_BATTERY_TYPE, "FF"}}},
      {"recent",
       {"--current", "60"},
       "",
       "",
       0,
       {{REG_MAXIMUM_CURRENT, "0258"}, {REG_BATTERY_TYPE, "FF"}},
       noRating},
      // Some refused, some accepted: the accepted ones are stored, and the run fails.
      {"load115",
       {"--abs", "14.4", "--float", "abc"},
       "",
       "Unable to set float voltage\nOptions not applied: --float\n",
       255,
       {{REG_BATTERY_TYPE, "FF"}}},
      {"load115",
       {"--float", "15", "--current", "10"},
       "",
       "Options not applied: --float\n",
       255,
       {{REG_MAXIMUM_CURRENT, "0064"}, {REG_BATTERY_TYPE, "FF"}}},
      {"load115",
       {"--abs", "14.2", "--current", "1000"},
       "",
       "Options not applied: --current\n",
       95,
       {{REG_ABSORPTION_VOLTAGE, "(refused)"}, {REG_BATTERY_TYPE, "FF"}},
       refuseAbsorption},
      // The main menu's keys read their values alike, and x does not store a float voltage above
      // the absorption voltage: the menu stays open until either is mended.
      {"load115", {}, "c\n2.5e1\nx\n", "Unable to interpret value\n\n", 0, {}},
      {"load115",
       {},
       "f\n15\nx\n",
       "float voltage 15.00 V is above the absorption voltage 14.40",
       255,
       {}},
      {"load115",
       {},
       "f\n15\nx\na\n15.5\nx\n",
       "float voltage 15.00 V is above",
       0,
       {{REG_ABSORPTION_VOLTAGE, "060E"}, {REG_FLOAT_VOLTAGE, "05DC"}, {REG_BATTERY_TYPE, "FF"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " " + (c.args.empty() ? c.input : c.args[0]) + " " +
                 (c.args.size() > 1 ? c.args[1] : ""));
    const sim::Profile profile = sim::profileByName(c.profile);
    SimulatedCharger charger(c.profile, c.faults);
    ProcessResult r = charger.run(c.args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    if (c.stored.empty()) {
      EXPECT_EQ(setRequestCount(charger.sim()), 0u);
      continue;
    }
    std::set<std::uint16_t> written;
    for (const WrittenValue& w : settingsWrites(writtenValues(charger.sim()))) {
      if (w.id == REG_CLOCK) continue;  // set after the settings when the lighting timer is on
      const auto changed = c.stored.find(w.id);
      const std::string held = valueText(profile.registers.at(w.id));
      EXPECT_EQ(w.value, changed != c.stored.end() ? changed->second : held) << w;
      written.insert(w.id);
    }
    for (const auto& [id, value] : c.stored) {
      EXPECT_EQ(written.count(id), value == "(refused)" ? 0u : 1u) << id;
    }
  }
}

// A store writes only what differs from what was read, each write named before the first; a
// changed system voltage writes the voltages that follow it; --dry-run names the writes and makes
// none. Each row asserts every write that reached the charger, the switching included.
TEST(StoreTest, StoreWritesOnlyWhatDiffersAndDryRunWritesNothing) {
  struct Case {
    const char* name;
    const char* profile;  // load115: 12 V, absorption 14.40 V, float 13.80 V, factory table 1
    std::vector<std::string> args;
    const char* file;  // the vregs of an --upload file ("" none)
    sim::Faults faults;
    int exitCode;
    std::vector<WrittenValue> settings;  // written between the switch-off and the switch-on
    bool switched;                       // the charger switched off and on around them
    std::vector<std::string> out;        // each on standard output
  };
  const std::string abs = "absorption_voltage: 14.40 V -> 14.20 V\n";
  const std::string type = "battery_type: 1 -> 255\n";
  const std::string dry = "Dry run: nothing was written to the charger.\n";
  const char* absFile = "<vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x058C\"/>";
  const char* twoFile =
      "<vreg label=\"absorption_voltage\" get=\"0xEDF7\" value=\"0x05A0\"/>"
      "<vreg label=\"float_voltage\" get=\"0xEDF6\" value=\"0x0546\"/>";
  sim::Faults floatUnread;
  floatUnread.refuseGet = {REG_FLOAT_VOLTAGE};
  const Case cases[] = {
      {"one change",
       "load115",
       {"--abs", "14.2"},
       "",
       {},
       0,
       {{REG_ABSORPTION_VOLTAGE, "058C"}, {REG_BATTERY_TYPE, "FF"}},
       true,
       {abs + type}},
      {"one change, JSON",
       "load115",
       {"--abs", "14.2", "--json"},
       "",
       {},
       0,
       {{REG_ABSORPTION_VOLTAGE, "058C"}, {REG_BATTERY_TYPE, "FF"}},
       true,
       {"\"writes\":[{\"label\":\"absorption_voltage\",\"unit\":\"V\",\"old\":{\"raw\":"
        "\"0x05A0\",\"value\":14.4},\"new\":{\"raw\":\"0x058C\",\"value\":14.2}},",
        "\"dry_run\":false"}},
      {"no change",
       "rotary113",
       {"--abs", "14.4"},
       "",
       {},
       0,
       {},
       false,
       {"The charger holds these settings already: nothing was written.\n"}},
      {"dry run",
       "load115",
       {"--abs", "14.2", "--dry-run"},
       "",
       {},
       0,
       {},
       false,
       {abs + type + dry}},
      {"upload: what differs",
       "load115",
       {"--upload"},
       twoFile,
       {},
       0,
       {{REG_FLOAT_VOLTAGE, "0546"}},
       true,
       {"float_voltage: 13.80 V -> 13.50 V\n"}},
      {"upload: a setting not read is written",
       "load115",
       {"--upload"},
       twoFile,
       floatUnread,
       0,
       {{REG_FLOAT_VOLTAGE, "0546"}},
       true,
       {"float_voltage: not read -> 13.50 V\n"}},
      {"upload, dry run",
       "load115",
       {"--upload", "--dry-run"},
       absFile,
       {},
       0,
       {},
       false,
       {abs + dry}},
      {"upload, dry run, refused file",
       "load115",
       {"--upload", "--dry-run"},
       "<vreg label=\"absorption_voltage\" get=\"0x0004\" value=\"0x0000\"/>",
       {},
       94,
       {},
       false,
       {}},
      {"dry run without a store", "load115", {"--get", "--dry-run"}, "", {}, 255, {}, false, {}},
      // The voltages follow the system voltage, written before it as always.
      {"rescaling",
       "load115",
       {"--sys", "24"},
       "",
       {},
       0,
       {{REG_BATTERY_VOLTAGE, "18"},
        {REG_ABSORPTION_VOLTAGE, "0B40"},
        {REG_FLOAT_VOLTAGE, "0AC8"},
        {0xEDF2, "F358"},
        {0xED9D, "0A3C"},
        {0xED9C, "08AC"},
        {REG_BATTERY_VOLTAGE, "18"}},
       true,
       {"absorption_voltage: 14.40 V -> 28.80 V\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger(c.profile, c.faults);
    TempDir dir;
    std::vector<std::string> args = c.args;
    if (*c.file != '\0') {
      writeFile(dir.file("f.xml"), std::string("<qmx><vregs>") + c.file + "</vregs></qmx>");
      args.insert(args.begin() + 1, dir.file("f.xml"));
    }
    ProcessResult r = charger.run(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    // With --json the lines go to standard error, the document to standard output.
    for (const std::string& text : c.out) EXPECT_TRUE(contains(r.out + r.err, text)) << r.out;
    std::vector<WrittenValue> expected;
    if (c.switched) expected = chargerOffWrites();
    expected.insert(expected.end(), c.settings.begin(), c.settings.end());
    if (c.switched) {
      const auto on = chargerOnWrites();
      expected.insert(expected.end(), on.begin(), on.end());
    }
    EXPECT_EQ(writtenValues(charger.sim()), expected);
    if (!c.switched) {
      EXPECT_EQ(setRequestCount(charger.sim()), 0u);
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
  ProcessResult r = charger.run({"--abs", "14.2", "--current", "10", "--float", "13.5"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto all = writtenValues(charger.sim());
  EXPECT_EQ(std::count(all.begin(), all.end(), chargerOffWrites()[1]), 1);
  const auto writes = settingsWrites(all);
  EXPECT_EQ(valueOf(writes, REG_ABSORPTION_VOLTAGE), "058C");
  EXPECT_EQ(valueOf(writes, REG_FLOAT_VOLTAGE), "0546");
  EXPECT_EQ(valueOf(writes, REG_MAXIMUM_CURRENT), "0064");
}

TEST(StoreTest, RefusedWriteFailsTheRunButTheRestIsStoredAndTheChargerIsOn) {
  sim::Faults faults;
  faults.refuseSet = {REG_ABSORPTION_VOLTAGE};
  SimulatedCharger charger("load115", faults);
  ProcessResult r = charger.run({"--abs", "14.2"});
  EXPECT_EQ(r.exitCode, 95) << "a failed store is not reported as success";
  const auto writes = settingsWrites(writtenValues(charger.sim()));
  EXPECT_EQ(valueOf(writes, REG_ABSORPTION_VOLTAGE), "(not written)");
  EXPECT_EQ(valueOf(writes, REG_BATTERY_TYPE), "FF") << "later settings are still written";
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

// The writes that switch the charger (0x0202 and 0x0200), in order.
std::vector<WrittenValue> switchingWrites(const sim::ChargerSim& sim) {
  std::vector<WrittenValue> switching;
  for (const WrittenValue& w : writtenValues(sim))
    if (w.id == REG_DEVICE_MODE_UNLOCK || w.id == REG_DEVICE_MODE) switching.push_back(w);
  return switching;
}

std::size_t deviceModeGets(const sim::ChargerSim& sim) {
  std::size_t count = 0;
  for (const HexMsg& request : sim.requests()) {
    const auto& bytes = request.bytes();
    count += bytes.size() >= 3 && bytes[0] == CMD_GET_REGISTER &&
             (bytes[1] | bytes[2] << 8) == REG_DEVICE_MODE;
  }
  return count;
}

// chgtune reads whether the charger is on, says so when it is off, and puts it back as it found
// it: a charger switched off stays off through a store; --switch-on and --switch-off switch it.
TEST(StoreTest, ChargerIsLeftAsItWasFoundAndSwitchedOnlyWhenAsked) {
  struct Run {
    std::vector<std::string> args;
    sim::Faults faults;
    int exitCode;
    std::vector<std::string> out;  // each on standard output
    std::vector<std::string> err;  // each on standard error
    std::vector<std::string> notOut;
  };
  struct Case {
    const char* name;
    bool startsOff;
    std::vector<Run> runs;
    std::vector<WrittenValue> switching;  // every write to 0x0202 and 0x0200, all runs
    bool absorptionWritten;
    bool onAtTheEnd;
  };
  const std::string offLine = "Charger = switched off\n";
  const std::string keptOff =
      "the charger was switched off before the store and stays off; `chgtune --switch-on` "
      "switches it on\n";
  sim::Faults none, flagged, silentMode, refuseOn;
  flagged.flagsOnGet = {{REG_DEVICE_MODE, FLAGS_NOT_SUPPORTED}};
  silentMode.silentOnRegister = REG_DEVICE_MODE;
  silentMode.silentRequests = 1;
  refuseOn.refuseSwitchOn = true;
  sim::Faults refuseOff;
  refuseOff.refuseSwitchOff = true;
  const auto off = chargerOffWrites();
  const auto on = chargerOnWrites();
  const auto offOn = std::vector<WrittenValue>{off[0], off[1], on[0], on[1]};
  const Case cases[] = {
      {"found off: stays off through a store",
       true,
       {{{"--abs", "14.2"}, none, 0, {keptOff, offLine}, {}, {}},
        {{"--get"}, none, 0, {"application v1.15\n" + offLine + "\n"}, {}, {}},
        {{"--get", "--json"}, none, 0, {"\"switched_on\":false"}, {}, {}}},
       {},
       true,
       false},
      {"found on",
       false,
       {{{"--abs", "14.2"}, none, 0, {}, {}, {offLine, "stays off"}},
        {{"--get", "--json"}, none, 0, {"\"switched_on\":true"}, {}, {offLine}}},
       offOn,
       true,
       true},
      {"state not told (flagged reply): switched off and on around the store",
       false,
       {{{"--abs", "14.2"}, flagged, 0, {}, {}, {offLine}},
        {{"--get", "--json"}, flagged, 0, {}, {}, {"switched_on"}}},
       offOn,
       true,
       true},
      {"state not told (no reply)",
       false,
       {{{"--abs", "14.2"}, silentMode, 0, {}, {}, {offLine}}},
       offOn,
       true,
       true},
      {"--switch-on, and --switch-off",
       true,
       {{{"--switch-on"}, none, 0, {"The charger is switched on.\n"}, {}, {}},
        {{"--switch-off"}, none, 0, {"The charger is switched off;"}, {}, {}},
        {{"--get"}, none, 0, {offLine}, {}, {}}},
       {on[0], on[1], off[0], off[1]},
       false,
       false},
      {"one-shot precedence: --clock before --switch-on before --switch-off",
       true,
       {{{"--switch-off", "--clock", "--switch-on"}, none, 0, {"=== Set clock to "}, {}, {}},
        {{"--switch-off", "--switch-on"}, none, 0, {"switched on."}, {}, {}}},
       on,
       false,
       true},
      {"switch-off refused: nothing written, the run ends with 22",
       false,
       {{{"--abs", "14.2"},
         refuseOff,
         22,
         {},
         {"Store not made: the charger did not confirm the switch-off, so no setting was written; "
          "the charger confirmed it is switched on.\n"},
         {"=== Storing settings"}}},
       {off[0], on[0], on[1]},
       false,
       true},
      {"switch-on refused, then --switch-on",
       false,
       {{{"--abs", "14.2"},
         refuseOn,
         22,
         {},
         {"may be left off (run `chgtune --switch-on`, or power-cycle the charger)."},
         {}},
        {{"--get"}, none, 0, {offLine}, {}, {}},
        {{"--switch-on"}, none, 0, {"The charger is switched on.\n"}, {}, {}}},
       {off[0], off[1], on[0], on[0], on[1]},
       true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedCharger charger("load115");
    sim::ChargerSim& sim = charger.sim();
    if (c.startsOff) sim.setRegisterValue(REG_DEVICE_MODE, sim::u16(DEVICE_MODE_OFF));
    for (const Run& run : c.runs) {
      SCOPED_TRACE(run.args[0]);
      sim.setFaults(run.faults);
      const std::size_t modeGets = deviceModeGets(sim);
      ProcessResult r = charger.run(run.args);
      EXPECT_EQ(r.exitCode, run.exitCode) << r.err;
      EXPECT_FALSE(contains(r.err, "ERROR")) << r.err;
      for (const std::string& text : run.out) EXPECT_TRUE(contains(r.out, text)) << r.out;
      for (const std::string& text : run.err) EXPECT_TRUE(contains(r.err, text)) << r.err;
      for (const std::string& text : run.notOut) EXPECT_FALSE(contains(r.out, text)) << r.out;
      EXPECT_EQ(deviceModeGets(sim), modeGets + 1) << "identification asks once";
    }
    EXPECT_EQ(switchingWrites(sim), c.switching);
    EXPECT_EQ(valueOf(writtenValues(sim), REG_ABSORPTION_VOLTAGE) == "058C", c.absorptionWritten);
    EXPECT_EQ(sim.chargerOn(), c.onAtTheEnd);
  }
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
    if (c.refuseAbsorption) faults.refuseSet = {REG_ABSORPTION_VOLTAGE};
    SimulatedCharger charger("load115", faults);
    ProcessResult r = charger.run(c.args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(contains(r.err, "the charger did not confirm it is switched on") ||
                contains(r.err, "The charger did not confirm it is switched on"))
        << r.err;
    EXPECT_TRUE(
        contains(r.err, "may be left off (run `chgtune --switch-on`, or power-cycle the charger)."))
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
