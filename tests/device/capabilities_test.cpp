// Identification of the charger against the simulated charger over a real pseudo-terminal, and the
// product and ratings tables it relies on.
#include "device/capabilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/qmx_serial.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/log_capture.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

// The simulated chargers keep the program's own time-outs: a charger that answers is never asked
// twice, even on a busy machine, so the requests it received can be compared exactly. A log
// capture starts before the charger so that no reader thread runs while the verbosity changes.
using test::LogCapture;
using test::SimLink;

sim::Profile profileWith(const std::string& name, std::uint16_t productId,
                         std::uint16_t versionWord) {
  sim::Profile profile = sim::profileByName(name);
  profile.productId = productId;
  profile.versionWord = versionWord;
  return profile;
}

std::uint32_t littleEndian(const sim::RegisterBytes& bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

TEST(ProductNames, TableIsAscendingAndEndsWithTheReservedIds) {
  const std::vector<ProductName>& table = productNameTable();
  ASSERT_GE(table.size(), 2u);
  for (std::size_t i = 1; i < table.size(); ++i)
    EXPECT_LT(table[i - 1].productId, table[i].productId) << "entry " << i;
  EXPECT_EQ(table[table.size() - 2].productId, 0xFFFE);
  EXPECT_STREQ(table[table.size() - 2].name, "reserved");
  EXPECT_EQ(table.back().productId, 0xFFFF);
  EXPECT_STREQ(table.back().name, "No product set");

  EXPECT_EQ(lookupProductName(0xFFFF), "No product set");
  // The recent charger names itself through its model-name register.
  EXPECT_FALSE(lookupProductName(0xA07A).has_value());
}

TEST(ModelRatings, RowsFollowTheFixedOrderAndFlagPattern) {
  const std::uint16_t order[] = {0xA04C, 0x0300, 0xA042, 0xA043, 0xA044, 0xA04A, 0xA041,
                                 0xA04B, 0xA040, 0xA048, 0xA045, 0xA049, 0xA04D, 0xA04E,
                                 0xA046, 0xA04F, 0xA047, 0xA052, 0xA051, 0xA050};
  const std::set<std::uint16_t> withLoad = {0x0300, 0xA042, 0xA043, 0xA04C};
  const std::vector<ModelRating>& rows = builtInModelRatings();
  ASSERT_EQ(rows.size(), 20u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ModelRating& row = rows[i];
    SCOPED_TRACE(row.productId);
    EXPECT_EQ(row.productId, order[i]);
    const bool load = withLoad.count(row.productId) != 0;
    EXPECT_EQ(row.hasLoadOutput, load);
    EXPECT_EQ(row.hasRotaryEncoder, !load);
    EXPECT_EQ(row.hasHistory, row.productId != 0x0300);
    EXPECT_EQ(row.minBatteryVoltage, 12);
    EXPECT_TRUE(row.maxBatteryVoltage == 24 || row.maxBatteryVoltage == 48);
    EXPECT_TRUE(isMpptProductId(row.productId));
    // The display name is made from the ratings, so the two tables cannot drift apart.
    const std::string expected =
        "MPPT " + std::to_string(row.maxPvVoltage) + "/" + std::to_string(row.maxCurrent);
    const std::optional<std::string> name = lookupProductName(row.productId);
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->substr(0, expected.size()), expected);
  }
}

// The flags older firmware cannot report are derived from the ratings table and the version.
TEST(IdentifyCharger, DerivesFlagsForFirmwareBefore116) {
  struct Case {
    const char* profile;
    std::uint16_t productId;
    std::uint16_t versionWord;
    std::uint32_t flags;
    int historyVersion;
    int streetlightVersion;
    const char* name;
  };
  const Case cases[] = {
      {"load115", 0xA042, 0x4107, 0x001D, 0, 0, "MPPT 75/15 application v1.07"},
      {"load115", 0xA042, 0x4115, 0x1E05, 4, 1, "MPPT 75/15 application v1.15"},
      {"rotary113", 0xA040, 0x4113, 0x2106, 4, 0, "MPPT 75/50 application v1.13"},
      {"rotary113", 0xA040, 0x4114, 0x2106, 4, 0, "MPPT 75/50 application v1.14"},
      // No history on the oldest charger: no history version, no alternative TX function.
      {"load115", 0x0300, 0x4115, 0x0001, 0, 0, "MPPT 70/15 application v1.15"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " " + c.name);
    SimLink charger(profileWith(c.profile, c.productId, c.versionWord));
    Capabilities caps;
    ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
    EXPECT_EQ(caps.productId, c.productId);
    EXPECT_EQ(caps.firmwareVersion, c.versionWord & 0x0FFF);
    EXPECT_EQ(caps.flags, c.flags);
    EXPECT_EQ(caps.historyVersion, c.historyVersion);
    EXPECT_EQ(caps.streetlightVersion, c.streetlightVersion);
    EXPECT_EQ(caps.name, c.name);
    EXPECT_FALSE(caps.releaseCandidate);
    EXPECT_EQ(caps.modelRatings.size(), 20u);
    // Nothing newer than 1.16 is asked of firmware that cannot answer it: only the device mode.
    EXPECT_EQ(charger.requestedIds(CMD_GET_REGISTER), std::vector<std::uint16_t>{REG_DEVICE_MODE});
  }
}

// The device mode register is asked once, last: its low byte 4 is off, anything else on; a charger
// that does not tell leaves the state unknown, and costs a single attempt.
TEST(IdentifyCharger, DeviceModeTellsWhetherTheChargerIsSwitchedOn) {
  struct Case {
    const char* name;
    sim::RegisterBytes mode;  // empty: as the profile has it (on)
    sim::Faults faults;
    std::optional<bool> switchedOn;
  };
  sim::Faults flagged, refused, silent;
  flagged.flagsOnGet = {{REG_DEVICE_MODE, FLAGS_NOT_SUPPORTED}};
  refused.refuseGet = {REG_DEVICE_MODE};
  silent.silentOnRegister = REG_DEVICE_MODE;
  silent.silentRequests = 1;
  const Case cases[] = {
      {"on", {}, {}, true},
      {"off", {4, 0}, {}, false},
      {"off, one byte", {4}, {}, false},
      {"another mode is on", {1, 0}, {}, true},
      {"off in the high byte only", {3, 4}, {}, true},
      {"four bytes", {4, 0, 0, 0}, {}, std::nullopt},
      {"flagged reply", {4, 0}, flagged, std::nullopt},
      {"refused", {4, 0}, refused, std::nullopt},
      {"no reply", {4, 0}, silent, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Profile profile = sim::profileByName("recent");
    if (!c.mode.empty()) profile.registers[REG_DEVICE_MODE] = c.mode;
    // The program's own time-outs: the unanswered attempt costs one second.
    SimLink charger(profile, c.faults);
    Capabilities caps;
    ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
    EXPECT_EQ(caps.switchedOn, c.switchedOn);
    const std::vector<std::uint16_t> ids = charger.requestedIds(CMD_GET_REGISTER);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.back(), REG_DEVICE_MODE);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), REG_DEVICE_MODE), 1);
    EXPECT_EQ(charger.sim.writes().size(), 0u);
  }
}

TEST(IdentifyCharger, LogsIdentityRatingsAndEveryFlagName) {
  LogCapture log;
  SimLink charger(profileWith("load115", 0xA042, 0x4115));
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  const std::vector<std::string> expected = {
      "deviceId=0xA042, app=0x0115",
      "min voltage=12V, max voltage=24V",
      "max current=15A",
      "max pv voltage=75V",
      "history version=4",
      "streetlight version=1",
      "SL_REG_CAPABILITIES1_HAS_LOAD_OUTPUT",
      "SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT",
      "SL_REG_CAPABILITIES1_HAS_SOLAR_TIMER",
      "SL_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION",
      "SL_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH",
      "SL_REG_CAPABILITIES1_HAS_LOAD_CURRENT",
  };
  EXPECT_EQ(log.messages("INF.capabilities"), expected);
  EXPECT_TRUE(log.messages("ERR.capabilities").empty());
}

TEST(IdentifyCharger, RecentFirmwareReportsFlagsRatingsAndName) {
  LogCapture log;
  sim::Profile profile = sim::profileByName("recent");
  SimLink charger(profile);
  // Trailing blanks of the charger's own model name are not part of the display name.
  const std::string model = "Sun Box 100/20";
  sim::RegisterBytes nameBytes(model.begin(), model.end());
  nameBytes.insert(nameBytes.end(), {' ', ' ', 0});
  charger.sim.setRegisterValue(REG_MODEL_NAME, nameBytes);

  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  EXPECT_EQ(caps.productId, profile.productId);
  EXPECT_EQ(caps.name, model + " " + firmwareText(profile.versionWord));
  const std::uint32_t word = littleEndian(charger.sim.registerValue(REG_CAPABILITIES));
  EXPECT_EQ(caps.flags, word & 0x3FFFFFF);
  const sim::RegisterBytes range = charger.sim.registerValue(REG_BATTERY_VOLTAGE_RANGE);
  ASSERT_EQ(range.size(), 2u);
  EXPECT_EQ(caps.minBatteryVoltage, range[0]);
  EXPECT_EQ(caps.maxBatteryVoltage, range[1]);
  EXPECT_DOUBLE_EQ(caps.maxCurrent,
                   littleEndian(charger.sim.registerValue(REG_MAX_CURRENT)) / 10.0);
  EXPECT_DOUBLE_EQ(caps.maxPvVoltage,
                   littleEndian(charger.sim.registerValue(REG_MAX_PV_VOLTAGE)) / 100.0);
  if (caps.has(SL_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT)) {
    EXPECT_EQ(caps.historyVersion, charger.sim.registerValue(REG_HISTORY_VERSION).at(0));
  }
  EXPECT_TRUE(log.messages("ERR.capabilities").empty());
}

TEST(IdentifyCharger, CapabilityWordZeroClearsTheTableFlags) {
  SimLink charger(profileWith("load115", 0xA042, 0x4116));
  charger.sim.setRegisterValue(REG_CAPABILITIES, {0, 0, 0, 0});
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  EXPECT_EQ(caps.flags, 0u);
  // With history and the solar timer cleared their version registers are not asked for.
  for (std::uint16_t id : charger.requestedIds(CMD_GET_REGISTER)) {
    EXPECT_NE(id, REG_HISTORY_VERSION);
    EXPECT_NE(id, REG_STREETLIGHT_VERSION);
  }
}

TEST(IdentifyCharger, ShortCapabilityReplyKeepsDerivedFlags) {
  // A reply carrying fewer bytes than the 32-bit word must not lend its checksum byte to the flags.
  SimLink charger(profileWith("load115", 0xA042, 0x4116));
  charger.sim.setRegisterValue(REG_CAPABILITIES, {0xFF, 0xFF});
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  // 0xA042 on 1.16 as derived: load, history, auto equalise, solar timer, TX, load switch/current.
  EXPECT_EQ(caps.flags, 0x1E45u);
}

TEST(IdentifyCharger, ReleaseCandidateIsAccepted) {
  SimLink charger(profileWith("load115", 0xA042, 0xC116));
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  EXPECT_TRUE(caps.releaseCandidate);
  EXPECT_EQ(caps.firmwareVersion, 0x116);
  const std::string suffix = " release candidate vC1.16";
  ASSERT_GE(caps.name.size(), suffix.size());
  EXPECT_EQ(caps.name.substr(caps.name.size() - suffix.size()), suffix);
}

TEST(IdentifyCharger, OldestChargerNeverReadsRatingRegisters) {
  SimLink charger(profileWith("load115", 0x0300, 0x4116));
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  for (std::uint16_t id : charger.requestedIds(CMD_GET_REGISTER)) {
    EXPECT_NE(id, REG_MAX_CURRENT);
    EXPECT_NE(id, REG_BATTERY_VOLTAGE_RANGE);
    EXPECT_NE(id, REG_MAX_PV_VOLTAGE);
  }
  EXPECT_DOUBLE_EQ(caps.maxCurrent, 15.0);
  EXPECT_DOUBLE_EQ(caps.maxPvVoltage, 70.0);
}

TEST(IdentifyCharger, UnknownModelGetsBareFirmwareNameAndAnError) {
  LogCapture log;
  sim::Profile profile = profileWith("load115", 0xA07F, 0x4111);
  profile.registers.erase(REG_MODEL_NAME);
  SimLink charger(profile);
  Capabilities caps;
  ASSERT_EQ(identifyCharger(caps, *charger.link), 0);
  EXPECT_EQ(caps.name, " application v1.11");
  EXPECT_EQ(caps.minBatteryVoltage, 0);
  // Below 1.12 the model-name register is not asked for.
  EXPECT_EQ(charger.requestedIds(CMD_GET_REGISTER), std::vector<std::uint16_t>{REG_DEVICE_MODE});
  EXPECT_EQ(log.messages("ERR.capabilities"),
            std::vector<std::string>{"mppt charger model unknown..."});
}

TEST(IdentifyCharger, RefusalsGiveTheirStatusAndStopAsking) {
  struct Case {
    const char* profile;
    std::uint16_t productId;
    std::uint16_t versionWord;
    int status;
    const char* error;
    std::vector<std::uint8_t> codes;  // requests the charger received
  };
  const Case cases[] = {
      {"load115",
       0xA042,
       0x0116,
       81,
       "application required to determine capabilities...",
       {CMD_PING}},
      {"load115",
       0xA042,
       0x8116,
       81,
       "application required to determine capabilities...",
       {CMD_PING}},
      {"load115",
       0x0200,
       0x4116,
       91,
       "only mppt chargers are supported",
       {CMD_PING, CMD_GET_DEVICE_ID}},
      {"load115",
       0xA080,
       0x4116,
       91,
       "only mppt chargers are supported",
       {CMD_PING, CMD_GET_DEVICE_ID}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error + std::string(" ") + std::to_string(c.versionWord));
    LogCapture log;
    SimLink charger(profileWith(c.profile, c.productId, c.versionWord));
    Capabilities caps;
    EXPECT_EQ(identifyCharger(caps, *charger.link), c.status);
    EXPECT_EQ(charger.commandCodes(), c.codes);
    EXPECT_EQ(log.messages("ERR.capabilities"), std::vector<std::string>{c.error});
  }
}

TEST(IdentifyCharger, PingReplyWithoutVersionGives3) {
  LogCapture log;
  sim::Faults faults;
  faults.shortPing = true;
  SimLink charger(sim::profileByName("load115"), faults);
  Capabilities caps;
  EXPECT_EQ(identifyCharger(caps, *charger.link), 3);
  EXPECT_EQ(charger.commandCodes(), std::vector<std::uint8_t>{CMD_PING});
  EXPECT_EQ(log.messages("ERR.capabilities"), std::vector<std::string>{"no ping reply"});
}

TEST(IdentifyCharger, SilentDeviceGives3AfterTenPings) {
  LogCapture log;
  SimLink charger(sim::profileByName("silent"));
  charger.link->timeouts.ping = std::chrono::milliseconds(30);
  Capabilities caps;
  EXPECT_EQ(identifyCharger(caps, *charger.link), 3);
  EXPECT_EQ(charger.commandCodes(), std::vector<std::uint8_t>(10, CMD_PING));
  EXPECT_EQ(log.messages("ERR.capabilities"),
            std::vector<std::string>{"no response received (check power / correct serial port)"});
}

}  // namespace
}  // namespace sunlink
