// Retrieve against the simulated charger, over a real link on a pseudo-terminal.
#include "settings/retrieve.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/errors.h"
#include "settings/settings_file.h"
#include "settings/xml_reader.h"
#include "support/log_capture.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

using test::LogCapture;
using test::SimLink;

Vreg reading(const std::string& label, std::uint32_t get) {
  return Vreg(label, get, REG_NONE, 1.0);
}

std::vector<std::int32_t> statuses(const VregTable& table) {
  std::vector<std::int32_t> result;
  for (const Vreg& v : table.vregs()) result.push_back(v.status);
  return result;
}

// load115: product 0xA042, firmware 1.15.
TEST(RetrieveTest, RulesDecideInTableOrder) {
  SimLink charger("load115");
  charger.sim.setRegisterValue(0xEDF7, sim::u16(0x05A0));
  charger.sim.setRegisterValue(0xEDF6, sim::u16(0x0564));
  charger.sim.setRegisterValue(0xEDF1, sim::u8(0xFF));
  charger.sim.setRegisterValue(0xEDA0, sim::u32(0x64010000));

  VregTable table;
  Vreg other = reading("other_product", 0xEDF7);
  other.productids = "0x0300";
  other.value = "05";
  table.push(other);
  Vreg newer = reading("newer", 0xEDF7);
  newer.minver = "1.16";
  table.push(newer);
  Vreg older = reading("older", 0xEDF7);
  older.maxver = "1.08";
  table.push(older);
  Vreg ungrouped = reading("ungrouped", 0xEDF7);
  ungrouped.conditions["never_recorded"] = "01";
  table.push(ungrouped);
  table.push(reading("unreadable", REG_NO_ACCESS));
  Vreg preset = reading("has_load", REG_NONE);
  preset.group = "has_load";
  preset.value = "01";
  preset.status = VREG_OK;
  table.push(preset);
  Vreg loadDependent = reading("exact_version", 0xEDF6);
  loadDependent.minver = "1.15";
  loadDependent.maxver = "1.15";
  loadDependent.productids = "0xA040:0xA04F";
  loadDependent.conditions["has_load"] = "01";
  table.push(loadDependent);
  table.push(reading("broken_preset", REG_NONE));
  Vreg limited = reading("limited", 0xEDF7);
  limited.max = "0500";
  limited.group = "over";
  table.push(limited);
  Vreg afterLimit = reading("battery_type", 0xEDF1);
  afterLimit.conditions["over"] = "0500";  // recorded in spite of the failed limit check
  table.push(afterLimit);
  table.push(reading("lighting_event1", 0xEDA0));

  LogCapture log;
  EXPECT_EQ(retrieve(*charger.link, table), 94);
  EXPECT_EQ(log.category("settings"),
            (std::vector<std::string>{
                "INF.settings: retrieve: loading settings",
                "INF.settings: retrieve: settings vreg \"other_product\" skipped (productId)",
                "INF.settings: retrieve: settings vreg \"newer\" skipped (minver)",
                "INF.settings: retrieve: settings vreg \"older\" skipped (maxver)",
                "INF.settings: retrieve: settings vreg \"ungrouped\" group mask does not match, "
                "skipping",
                "INF.settings: retrieve: settings vreg \"unreadable\" not readable, skipping",
                "INF.settings: retrieve: settings vreg \"has_load\" using preset value \"0x01\"",
                "INF.settings: retrieve: settings vreg \"exact_version\" succeeded: \"0564\"",
                "ERR.settings: retrieve: settings vreg \"broken_preset\" get not properly defined",
                "ERR.settings: retrieve: settings vreg \"limited\" limit check failed for value "
                "\"0x05A0\"",
                "INF.settings: retrieve: settings vreg \"battery_type\" succeeded: \"FF\"",
                "INF.settings: retrieve: settings vreg \"lighting_event1\" succeeded: \"64010000\"",
            }));
  EXPECT_EQ(statuses(table),
            (std::vector<std::int32_t>{VREG_SKIPPED, VREG_SKIPPED, VREG_SKIPPED, VREG_SKIPPED,
                                       VREG_SKIPPED, VREG_OK, VREG_OK, VREG_CONFIG_ERROR,
                                       VREG_LIMIT_FAILED, VREG_OK, VREG_OK}));
  EXPECT_EQ(table.find("other_product").value, "05");  // a skipped Vreg keeps its value
  EXPECT_EQ(table.find("limited").value, "05A0");      // out of limits, still held
  EXPECT_TRUE(table.retrieved);
  // Skipped Vregs and presets never reach the charger.
  EXPECT_EQ(charger.requests(CMD_GET_REGISTER), 4u);
}

TEST(RetrieveTest, UnreadableRegisterIsTriedThreeTimes) {
  sim::Faults faults;
  faults.flagsOnGet = {{0xEDF0, FLAGS_NOT_SUPPORTED}};
  SimLink charger("load115", faults);
  VregTable table;
  Vreg current = reading("maximum_current", 0xEDF0);
  current.value = "0096";
  current.group = "current";
  current.status = VREG_OK;
  table.push(current);
  Vreg dependent = reading("dependent", 0xEDF7);
  dependent.conditions["current"] = "00";
  table.push(dependent);

  LogCapture log;
  EXPECT_EQ(retrieve(*charger.link, table), 94);
  // The charger answers each try at once (flags set), so each try is one request.
  EXPECT_EQ(charger.requests(CMD_GET_REGISTER, 0xEDF0), 3u);
  const Vreg& failed = table.find("maximum_current");
  EXPECT_EQ(failed.status, VREG_GET_FAILED);
  EXPECT_EQ(failed.value, "0096");
  EXPECT_EQ(table.find("dependent").status, VREG_SKIPPED);  // nothing recorded for the group
  EXPECT_FALSE(table.retrieved);
  EXPECT_TRUE(log.contains(
      "ERR.settings: retrieve: settings get vreg \"maximum_current\" (0xEDF0) failed"));
}

// A charger silent for a while costs three whole reads of three attempts each; then the pass goes
// on with the next Vreg.
TEST(RetrieveTest, SilentRegisterCostsThreeReadsOfThreeAttempts) {
  sim::Faults faults;
  faults.silentOnRegister = 0xEDF0;
  faults.silentRequests = 9;
  SimLink charger("load115", faults);
  // What the charger answers keeps the program's own time-outs, however slow the machine; the
  // three unanswered reads get short ones: from the device id asked before them to their ninth
  // attempt.
  int silentAttempts = 0;
  boost::signals2::scoped_connection timeouts =
      charger.link->txSignal.connect([&](const std::string& frame) {
        if (test::isRequest(frame, CMD_GET_DEVICE_ID))
          charger.link->timeouts.getRegister = std::chrono::milliseconds(40);
        if (test::isRequest(frame, CMD_GET_REGISTER, 0xEDF0) && ++silentAttempts == 9)
          charger.link->timeouts.getRegister = ExchangeTimeouts().getRegister;
      });
  VregTable table;
  table.push(reading("maximum_current", 0xEDF0));
  table.push(reading("absorption_voltage", 0xEDF7));

  LogCapture log;
  EXPECT_EQ(retrieve(*charger.link, table), 94);
  EXPECT_EQ(charger.requests(CMD_GET_REGISTER, 0xEDF0), 9u);
  EXPECT_EQ(table.find("maximum_current").status, VREG_GET_FAILED);
  EXPECT_EQ(table.find("absorption_voltage").status, VREG_OK);
  EXPECT_TRUE(table.retrieved);
}

TEST(RetrieveTest, EarlyEndsTouchNoVreg) {
  struct Case {
    std::string profile;
    bool shortPing;
    int status;
    std::string line;
    std::size_t deviceIdRequests;
  };
  const Case cases[] = {
      {"load115", true, 3, "ERR.settings: retrieve: no ping reply", 0},
      {"bootloader", false, 81, "ERR.settings: retrieve: application required to load settings...",
       0},
  };
  for (const Case& c : cases) {
    sim::Faults faults;
    faults.shortPing = c.shortPing;
    SimLink charger(c.profile, faults);
    VregTable table;
    Vreg v = reading("absorption_voltage", 0xEDF7);
    v.status = VREG_OK;
    v.value = "0500";
    table.push(v);
    LogCapture log;
    EXPECT_EQ(retrieve(*charger.link, table), c.status) << c.profile;
    EXPECT_EQ(log.category("settings"), std::vector<std::string>{c.line});
    EXPECT_EQ(table.vregs()[0].status, VREG_OK);
    EXPECT_EQ(table.vregs()[0].value, "0500");
    EXPECT_EQ(charger.requests(CMD_GET_DEVICE_ID), c.deviceIdRequests);
    EXPECT_EQ(charger.requests(CMD_GET_REGISTER), 0u);
  }
}

TEST(RetrieveTest, SilentChargerThrowsAndReleasesTheLock) {
  SimLink charger("silent", sim::Faults(), std::chrono::milliseconds(20));
  VregTable table;
  table.push(reading("absorption_voltage", 0xEDF7));
  LogCapture log;
  EXPECT_THROW(retrieve(*charger.link, table), no_response);
  EXPECT_EQ(charger.requests(CMD_PING), 10u);
  EXPECT_TRUE(charger.lockIsFree());
  EXPECT_EQ(table.vregs()[0].status, VREG_UNKNOWN);
}

TEST(RetrieveTest, AutoBatteryVoltageFollowsTheChargeVoltages) {
  struct Case {
    std::string value;
    std::map<std::string, std::string> groups;
    std::string result;
  };
  const Case cases[] = {
      {"00", {{"absorption_voltage", "0B40"}, {"float_voltage", "0AC8"}}, "18"},  // 28.80 V
      {"00", {{"absorption_voltage", "1680"}, {"float_voltage", "1590"}}, "30"},  // 57.60 V
      {"00", {{"absorption_voltage", "05A0"}, {"float_voltage", "0564"}}, "0C"},
      {"00", {{"absorption_voltage", "06D6"}, {"float_voltage", "06D7"}}, "18"},  // 17.51 V
      {"00", {{"absorption_voltage", "06D6"}}, "0C"},  // 17.50 V is still 12 V; float missing
      {"00", {{"float_voltage", "0DAD"}}, "30"},       // 35.01 V
      {"18", {{"absorption_voltage", "05A0"}}, "18"},  // the charger said 24 V: kept
  };
  for (const Case& c : cases) {
    Vreg v = reading("battery_voltage1", 0xEDEF);
    v.auto_bat = "absorption_voltage,,float_voltage";
    v.value = c.value;
    std::map<std::string, std::string> groups = c.groups;
    autoBatteryVoltage(v, groups);
    EXPECT_EQ(v.value, c.result) << c.value;
    if (c.value == "00") {
      // A name without a record is recorded empty.
      EXPECT_EQ(groups.count("absorption_voltage") + groups.count("float_voltage"), 2u);
    }
  }

  // Through retrieve: the charger holds 0 (automatic) and 28.80 V absorption.
  SimLink charger("load115");
  charger.sim.setRegisterValue(0xEDEF, sim::u8(0));
  charger.sim.setRegisterValue(0xEDF7, sim::u16(0x0B40));
  VregTable table;
  Vreg absorption = reading("auto_absorption_voltage", 0xEDF7);
  absorption.group = "absorption_voltage";
  table.push(absorption);
  Vreg battery = reading("battery_voltage1", 0xEDEF);
  battery.auto_bat = "absorption_voltage,float_voltage";
  battery.group = "battery_voltage";
  table.push(battery);
  Vreg dependent = reading("needs_24", 0xEDF7);
  dependent.conditions["battery_voltage"] = "18";
  table.push(dependent);
  LogCapture log;
  EXPECT_EQ(retrieve(*charger.link, table), 0);
  EXPECT_EQ(table.find("battery_voltage1").value, "18");
  EXPECT_EQ(table.find("needs_24").status, VREG_OK);  // the group holds the derived voltage
}

TEST(RetrieveTest, LimitCheckComparesUnsigned32Bit) {
  struct Case {
    std::string value, min, max;
    int result;
  };
  const Case cases[] = {
      {"0564", "", "0500", VREG_LIMIT_FAILED},
      {"0564", "0600", "", VREG_LIMIT_FAILED},
      {"0564", "0564", "0564", VREG_OK},
      {"FFEC", "0000", "0100", VREG_LIMIT_FAILED},
      {"FFEC", "FF00", "", VREG_OK},
      {"", "", "", VREG_OK},
      {"12345678", "", "12345677", VREG_LIMIT_FAILED},
  };
  for (const Case& c : cases) {
    Vreg v = reading("x", 0xEDF7);
    v.value = c.value;
    v.min = c.min;
    v.max = c.max;
    EXPECT_EQ(limitCheck(v), c.result) << c.value << " in " << c.min << ".." << c.max;
  }
}

// The embedded definitions against each simulated charger: every row that applies is read, and a
// second pass finds the same.
TEST(RetrieveTest, EmbeddedDefinitionsAgainstTheSimulatedChargers) {
  struct Case {
    std::string profile;
    std::vector<std::string> read;  // labels that end ok after a register read
  };
  const Case cases[] = {
      {"load115",
       {"battery_voltage3",
        "maximum_current",
        "bulk_time_limit",
        "absorption_time_limit",
        "absorption_voltage",
        "float_voltage",
        "temperature_compensation",
        "battery_type",
        "load_control",
        "load_offset",
        "port_tx_function",
        "load_switch_high_level",
        "load_switch_low_level",
        "lighting_event1",
        "lighting_event2",
        "lighting_event3",
        "lighting_event4",
        "lighting_event5",
        "lighting_event6",
        "midpoint_shift",
        "battery_voltage_setting3"}},
      {"rotary113",
       {"battery_voltage3", "maximum_current", "bulk_time_limit", "absorption_time_limit",
        "absorption_voltage", "float_voltage", "temperature_compensation", "battery_type",
        "battery_voltage_setting3"}},
  };
  for (const Case& c : cases) {
    SimLink charger(c.profile);
    VregTable table;
    vregsFromTree(readXmlDocument(embeddedDefaults, maxSettingsFileDepth), table);
    LogCapture log;
    ASSERT_EQ(retrieve(*charger.link, table), 0) << c.profile;
    std::vector<std::string> read;
    for (const Vreg& v : table.vregs()) {
      if (v.status == VREG_OK && v.get != REG_NONE) read.push_back(v.label);
    }
    EXPECT_EQ(read, c.read) << c.profile;
    const std::vector<std::int32_t> first = statuses(table);
    ASSERT_EQ(retrieve(*charger.link, table), 0);
    EXPECT_EQ(statuses(table), first);
  }
}

}  // namespace
}  // namespace sunlink
