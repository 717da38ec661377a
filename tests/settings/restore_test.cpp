// Restore against the simulated charger, over a real link on a pseudo-terminal.
#include "settings/restore.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/log_capture.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

using test::LogCapture;
using test::SimLink;

Vreg vreg(const std::string& label, std::uint32_t get, std::uint32_t set, const std::string& value,
          std::int32_t status = VREG_OK) {
  Vreg v(label, get, set, 1.0);
  v.value = value;
  v.status = status;
  return v;
}

using Writes = test::WriteList;

TEST(RestoreTest, WritesOnlyOkValuesWithTheirWidth) {
  SimLink charger("load115");
  VregTable table;
  table.push(vreg("absorption_voltage", 0xEDF7, REG_NONE, "05A0"));
  table.push(vreg("battery_type", 0xEDF1, REG_NONE, "0C"));  // written through get
  table.push(vreg("battery_voltage_setting3", 0xEDEA, 0xEDEF, "0C"));
  table.push(vreg("lighting_event1", 0xEDA0, REG_NONE, "32010078"));
  table.push(vreg("float_voltage", 0xEDF6, REG_NONE, "0564", VREG_UNKNOWN));
  table.push(vreg("maximum_current", 0xEDF0, REG_NONE, "0096", VREG_SKIPPED));
  table.push(vreg("bulk_time_limit", 0xEDFC, REG_NONE, "03E8", VREG_GET_FAILED));
  table.push(vreg("load_offset", 0xEDAC, REG_NONE, "0001", VREG_LIMIT_FAILED));
  table.push(vreg("no_value", 0xEDFB, REG_NONE, ""));
  Vreg readOnly = vreg("capabilities_reg", 0x0140, REG_NO_ACCESS, "00002506");
  readOnly.verify = 0x0140;  // read-only wins over verify
  table.push(readOnly);
  Vreg preset = vreg("has_load", REG_NONE, REG_NONE, "01");
  preset.group = "has_load";
  table.push(preset);

  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 0);
  EXPECT_EQ(charger.writes(), (Writes{{0xEDF7, {0xA0, 0x05}},
                                      {0xEDF1, {0x0C}},
                                      {0xEDEF, {0x0C}},
                                      {0xEDA0, {0x78, 0x00, 0x01, 0x32}}}));
  EXPECT_EQ(log.category("settings"),
            (std::vector<std::string>{
                "INF.settings: restore: saving settings",
                "INF.settings: restore: set register \"absorption_voltage\" (0xEDF7=0x05A0)",
                "INF.settings: restore: set register \"battery_type\" (0xEDF1=0x0C)",
                "INF.settings: restore: set register \"battery_voltage_setting3\" (0xEDEF=0x0C)",
                "INF.settings: restore: set register \"lighting_event1\" (0xEDA0=0x32010078)",
                "INF.settings: restore: settings vreg \"capabilities_reg\" read-only, skipping",
                "INF.settings: restore: settings vreg \"has_load\" is named container \"has_load\"",
            }));
  // The request itself: set, register low and high, flags, value least significant first.
  const std::vector<HexMsg> requests = charger.sim.requests();
  ASSERT_GE(requests.size(), 2u);
  const std::vector<std::uint8_t> first(requests[1].bytes().begin(), requests[1].bytes().end() - 1);
  EXPECT_EQ(first, (std::vector<std::uint8_t>{0x08, 0xF7, 0xED, 0x00, 0xA0, 0x05}));
  // Restore asks for no device id and reads nothing.
  EXPECT_EQ(charger.requests(CMD_GET_DEVICE_ID), 0u);
  EXPECT_EQ(charger.requests(CMD_GET_REGISTER), 0u);
  EXPECT_EQ(table.find("float_voltage").status, VREG_UNKNOWN);
  EXPECT_EQ(table.find("absorption_voltage").status, VREG_OK);
}

TEST(RestoreTest, NothingToWriteIsSuccess) {
  SimLink charger("load115");
  VregTable table;
  table.push(vreg("float_voltage", 0xEDF6, REG_NONE, "0564", VREG_UNKNOWN));
  table.push(vreg("maximum_current", 0xEDF0, REG_NONE, "0096", VREG_SKIPPED));
  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 0);
  EXPECT_EQ(log.category("settings"),
            std::vector<std::string>{"INF.settings: restore: saving settings"});
  EXPECT_TRUE(charger.sim.writes().empty());
}

TEST(RestoreTest, VerifyRegisterIsComparedNotWritten) {
  SimLink charger("load115");
  charger.sim.setRegisterValue(0x0140, sim::u32(0x00002506));
  VregTable table;
  Vreg equal = vreg("caps_equal", 0x0140, 0x0140, "00002506");
  equal.verify = 0x0140;
  table.push(equal);
  Vreg shorter = vreg("caps_short", REG_NONE, REG_NONE, "2506");
  shorter.verify = 0x0140;
  table.push(shorter);
  Vreg missing = vreg("caps_missing", REG_NONE, REG_NONE, "00002506");
  missing.verify = 0x0141;  // the charger has no such register
  table.push(missing);
  Vreg lower = vreg("caps_lower", REG_NONE, REG_NONE, "00002a06");
  lower.verify = 0x0140;
  table.push(lower);

  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 95);
  EXPECT_TRUE(charger.sim.writes().empty());
  EXPECT_EQ(charger.requests(CMD_GET_REGISTER, 0x0141), 1u);  // one read, no retries
  EXPECT_EQ(log.category("settings"),
            (std::vector<std::string>{
                "INF.settings: restore: saving settings",
                "INF.settings: restore: settings vreg \"caps_equal\" checked ok",
                "ERR.settings: restore: verify register \"caps_short\" (0x0140) failed",
                "ERR.settings: restore: verify register  \"caps_missing\" (0x0141) failed",
                "ERR.settings: restore: verify register \"caps_lower\" (0x0140) failed",
            }));
  EXPECT_EQ(table.find("caps_equal").status, VREG_OK);
  EXPECT_EQ(table.find("caps_short").status, VREG_VERIFY_ERROR);
  EXPECT_EQ(table.find("caps_missing").status, VREG_VERIFY_ERROR);
  EXPECT_EQ(table.find("caps_lower").status, VREG_VERIFY_ERROR);
}

TEST(RestoreTest, RefusedWriteFailsThatVregOnly) {
  sim::Faults faults;
  faults.refuseSet = {0xEDF7};
  SimLink charger("load115", faults);
  VregTable table;
  table.push(vreg("absorption_voltage", 0xEDF7, REG_NONE, "05A0"));
  table.push(vreg("float_voltage", 0xEDF6, REG_NONE, "0564"));
  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 95);
  EXPECT_EQ(table.find("absorption_voltage").status, VREG_SET_FAILED);
  EXPECT_EQ(table.find("float_voltage").status, VREG_OK);
  EXPECT_EQ(charger.writes(), (Writes{{0xEDF6, {0x64, 0x05}}}));
  EXPECT_EQ(charger.requests(CMD_SET_REGISTER, 0xEDF7), 1u);  // a refusal is not retried
  EXPECT_TRUE(log.contains(
      "ERR.settings: restore: set register \"absorption_voltage\" (0xEDF7=0x05A0) failed"));
}

TEST(RestoreTest, VregWithoutRegistersOrGroupFailsThePass) {
  SimLink charger("load115");
  VregTable table;
  table.push(vreg("nowhere", REG_NONE, REG_NONE, "01"));
  table.push(vreg("float_voltage", 0xEDF6, REG_NONE, "0564"));
  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 95);
  EXPECT_EQ(table.find("nowhere").status, VREG_OK);  // a definition error, not a failed write
  EXPECT_TRUE(
      log.contains("ERR.settings: restore: settings vreg \"nowhere\" set not properly defined"));
  EXPECT_EQ(charger.writes(), (Writes{{0xEDF6, {0x64, 0x05}}}));
}

// Hand-written settings files: values that are no hex digits used to go out cut short at the
// first odd character (a lower-case digit), and a register id beyond 16 bits as its low 16 bits,
// another setting of the charger.
TEST(RestoreTest, HandWrittenValuesNeverReachTheWrongBytesOrRegister) {
  sim::Faults faults;
  faults.checkWidths = true;
  SimLink charger("load115", faults);
  VregTable table;
  table.push(vreg("lower", 0xEDF7, REG_NONE, "1a05"));  // would have sent 0x05 alone
  table.push(vreg("garbage", 0xEDF7, REG_NONE, "05G0"));
  table.push(vreg("far", 0x1EDF6, REG_NONE, "0564"));        // not 0xEDF6
  table.push(vreg("wide", 0xEDF7, REG_NONE, "123456789A"));  // sent as written, refused
  table.push(vreg("odd", 0xEDF7, REG_NONE, "5A0"));          // read as 05A0
  table.push(vreg("battery_type", 0xEDF1, REG_NONE, "0C"));
  LogCapture log;
  EXPECT_EQ(restore(*charger.link, table), 95);
  EXPECT_EQ(table.find("lower").status, VREG_SET_FAILED);
  EXPECT_EQ(table.find("garbage").status, VREG_SET_FAILED);
  EXPECT_EQ(table.find("far").status, VREG_SET_FAILED);
  EXPECT_EQ(table.find("wide").status, VREG_SET_FAILED);
  EXPECT_EQ(table.find("odd").status, VREG_OK);
  EXPECT_EQ(table.find("battery_type").status, VREG_OK);
  EXPECT_EQ(charger.requests(CMD_SET_REGISTER, 0xEDF6), 0u);
  EXPECT_EQ(charger.requests(CMD_SET_REGISTER, 0xEDF7), 2u);  // wide and odd
  EXPECT_EQ(charger.writes(), (Writes{{0xEDF7, {0xA0, 0x05}}, {0xEDF1, {0x0C}}}));
  EXPECT_TRUE(log.contains(
      "ERR.settings: restore: settings vreg \"lower\" value \"0x1a05\" is not hex digits"));
  EXPECT_TRUE(
      log.contains("ERR.settings: restore: settings vreg \"far\" set not properly defined"));
}

TEST(RestoreTest, EarlyEndsWriteNothing) {
  struct Case {
    std::string profile;
    bool shortPing;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {"load115", true, 3, "ERR.settings: restore: no ping reply"},
      {"bootloader", false, 81, "ERR.settings: restore: application required to save settings..."},
      {"rc116", false, 0, "INF.settings: restore: saving settings"},  // release candidate
  };
  for (const Case& c : cases) {
    sim::Faults faults;
    faults.shortPing = c.shortPing;
    SimLink charger(c.profile, faults);
    VregTable table;
    table.push(vreg("midpoint_shift", 0x9999, REG_NONE, "0001", VREG_UNKNOWN));
    LogCapture log;
    EXPECT_EQ(restore(*charger.link, table), c.status) << c.profile;
    EXPECT_EQ(log.category("settings"), std::vector<std::string>{c.line});
    EXPECT_EQ(charger.requests(CMD_SET_REGISTER), 0u);
  }
}

// A charger that stops answering in the middle: ten attempts, then no_response; what came before
// is written, what comes after is not, and the link is free again.
TEST(RestoreTest, SilentChargerEndsThePassAfterTenAttempts) {
  sim::Faults faults;
  faults.silentOnRegister = 0xEDF6;
  faults.silentRequests = 1000;
  // The write before keeps the program's own time-out, however slow the machine; from the moment
  // it is sent, writes get a short one, to count the ten unanswered attempts quickly.
  SimLink charger("load115", faults);
  boost::signals2::scoped_connection timeouts =
      charger.link->txSignal.connect([&](const std::string& frame) {
        if (test::isRequest(frame, CMD_SET_REGISTER, 0xEDF7))
          charger.link->timeouts.setRegister = std::chrono::milliseconds(150);
      });
  VregTable table;
  table.push(vreg("absorption_voltage", 0xEDF7, REG_NONE, "05A0"));
  table.push(vreg("float_voltage", 0xEDF6, REG_NONE, "0564"));
  table.push(vreg("battery_type", 0xEDF1, REG_NONE, "0C"));
  LogCapture log;
  EXPECT_THROW(restore(*charger.link, table), no_response);
  EXPECT_EQ(charger.requests(CMD_SET_REGISTER, 0xEDF6), 10u);
  EXPECT_EQ(charger.requests(CMD_SET_REGISTER, 0xEDF1), 0u);
  EXPECT_EQ(charger.writes(), (Writes{{0xEDF7, {0xA0, 0x05}}}));
  EXPECT_TRUE(charger.lockIsFree());
}

}  // namespace
}  // namespace sunlink
