// Retrieve, store and the factory table against the simulated charger over a real link: exactly
// which registers reach the charger, in which order, and that a charger switched off for a store is
// always switched on again.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "charger/charger_settings.h"
#include "charger/setters.h"
#include "device/capabilities.h"
#include "protocol/registers.h"
#include "sim/charger_sim.h"
#include "support/sim_link.h"

namespace sunlink {
namespace {

using namespace std::chrono_literals;
using sim::RegisterBytes;
using test::WriteList;

const WriteList kChargerOff = {{REG_DEVICE_MODE_UNLOCK, {2, 0}}, {REG_DEVICE_MODE, {4, 0}}};
const WriteList kChargerOn = {{REG_DEVICE_MODE_UNLOCK, {2, 0}}, {REG_DEVICE_MODE, {3, 0}}};

// A value text as the bytes on the wire, least significant first.
RegisterBytes wireBytes(const std::string& value) {
  RegisterBytes bytes;
  for (std::size_t i = value.size(); i >= 2; i -= 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(value.substr(i - 2, 2), nullptr, 16)));
  }
  return bytes;
}

// What --abs 14.35 writes into a charger of the factory table: the voltage, and the battery type
// that makes it count.
const WriteList kAbsorptionStore = {{0xEDF7, {0x9B, 0x05}}, {0xEDF1, {0xFF}}};

std::string listed(const std::vector<std::string>& labels, std::size_t from, std::size_t to) {
  std::string list;
  for (std::size_t i = from; i < to && i < labels.size(); ++i)
    list += (list.empty() ? "" : ", ") + labels[i];
  return list.empty() ? "none" : list;
}

WriteList join(std::initializer_list<WriteList> parts) {
  WriteList all;
  for (const WriteList& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class StoreTest : public ::testing::Test {
 protected:
  // A link to the simulated charger, identified and retrieved, its records cleared, with the
  // program's own time-outs, so that no reply is late enough to be asked for twice, however slow
  // the machine (or its emulation).
  void connect(const std::string& profile) {
    charger_ = std::make_unique<test::SimLink>(profile);
    ASSERT_TRUE(charger_->started);
    Capabilities capabilities;
    ASSERT_EQ(identifyCharger(capabilities, *charger_->link), 0);
    model_ = std::make_unique<ChargerSettings>(capabilities, charger_->link.get());
    ASSERT_EQ(model_->retrieveSettings(out_), 0);
    EXPECT_EQ(out_.str(), "=== Retrieving settings from the mppt charger ===\n");
    out_.str("");
    charger_->sim.clearRecords();
  }

  // For a charger that falls silent in the store: short time-outs for the exchanges that begin
  // after request `after` of the store, up to the one after request `until` (-1: to the end), so
  // that the unanswered attempts cost little (test::shortenUnansweredExchanges). A store of
  // --abs 14.35 asks a ping and the switch-off's two writes (requests 1 to 3), the restore's ping
  // (4), the absorption voltage (5) and the battery type (6), then the switch-on's ping and two
  // writes (7 to 9). The requests that began the shortened exchanges come back for the test to
  // check.
  std::shared_ptr<const std::vector<std::string>> shortenStore(
      int after, int until, std::chrono::milliseconds timeout = 20ms) {
    return test::shortenUnansweredExchanges(*charger_->link, after, until, timeout);
  }

  void TearDown() override {
    model_.reset();
    charger_.reset();
  }

  WriteList writes() const { return charger_->writes(); }

  std::ostringstream out_;
  std::ostringstream err_;
  std::unique_ptr<test::SimLink> charger_;
  std::unique_ptr<ChargerSettings> model_;
};

TEST_F(StoreTest, WritesWhatDiffersBetweenChargerOffAndChargerOn) {
  connect("load115");  // lighting controller off
  ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
  ASSERT_EQ(model_->storeSettings(out_, err_), 0);
  EXPECT_EQ(writes(), join({kChargerOff, kAbsorptionStore, kChargerOn}));
  EXPECT_EQ(charger_->sim.registerValue(0xEDF7), (RegisterBytes{0x9B, 0x05}));
  EXPECT_EQ(charger_->sim.registerValue(0xEDF1), RegisterBytes{0xFF});
  EXPECT_TRUE(charger_->sim.chargerOn());
  EXPECT_EQ(out_.str(),
            "absorption_voltage: 14.40 V -> 14.35 V\nbattery_type: 1 -> 255\n"
            "=== Storing settings to the mppt charger ===\n");

  // What the charger took is no longer a difference.
  charger_->sim.clearRecords();
  out_.str("");
  ASSERT_EQ(model_->storeSettings(out_, err_), 0);
  EXPECT_EQ(writes(), WriteList());
  EXPECT_EQ(out_.str(), "The charger holds these settings already: nothing was written.\n");
}

TEST_F(StoreTest, SetsTheClockWhenTheLightingControllerIsOn) {
  connect("recent");  // load_control 0x81
  ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
  ASSERT_EQ(model_->storeSettings(out_, err_), 0);
  const WriteList all = writes();
  const WriteList settings = kAbsorptionStore;
  ASSERT_EQ(all.size(), kChargerOff.size() + settings.size() + 1 + kChargerOn.size());
  const std::size_t clock = kChargerOff.size() + settings.size();
  EXPECT_EQ(all[clock].first, REG_CLOCK);
  EXPECT_EQ(all[clock].second.size(), 2u);
  WriteList withoutClock = all;
  withoutClock.erase(withoutClock.begin() + clock);
  EXPECT_EQ(withoutClock, join({kChargerOff, settings, kChargerOn}));
  EXPECT_NE(out_.str().find("=== Set clock to "), std::string::npos);

  // The lighting controller switched off: no clock, and only that setting written.
  charger_->sim.clearRecords();
  ASSERT_TRUE(SettingSetters(*model_).setLightingController("0").isAccepted());
  ASSERT_EQ(model_->storeSettings(out_, err_), 0);
  const WriteList control = {{0xEDAB, wireBytes(model_->find("load_control").value)}};
  EXPECT_EQ(writes(), join({kChargerOff, control, kChargerOn}));
}

TEST_F(StoreTest, RefusedClockWriteStillSwitchesTheChargerOn) {
  connect("recent");
  sim::Faults faults;
  faults.refuseSet = {REG_CLOCK};
  charger_->sim.setFaults(faults);
  ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
  EXPECT_EQ(model_->storeSettings(out_, err_), 0);  // the status is restore's
  EXPECT_EQ(writes(), join({kChargerOff, kAbsorptionStore, kChargerOn}));
  EXPECT_TRUE(charger_->sim.chargerOn());
}

// The resend notices of a write the charger left unanswered: one line per attempt after the first.
std::string resendLines(const std::string& what, int from, int to) {
  std::string lines;
  for (int attempt = from; attempt <= to; ++attempt) {
    lines += "no answer from the charger to the " + what + " write; trying again (attempt " +
             std::to_string(attempt) + " of 10)\n";
  }
  return lines;
}

// A charger that falls silent part-way through a store ends the store with 3, each resend
// announced; it must not be left switched off (and so not charging) once it answers again.
TEST_F(StoreTest, ChargerFallingSilentMidStoreIsSwitchedOnAgainWhenItAnswers) {
  connect("load115");
  sim::Faults faults;
  faults.silentOnRegister = 0xEDF7;  // absorption voltage
  faults.silentRequests = 10;        // every attempt restore makes at it
  charger_->sim.setFaults(faults);
  const auto shortened = shortenStore(4, 5);
  ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
  EXPECT_EQ(model_->storeSettings(out_, err_), 3);
  ASSERT_EQ(shortened->size(), 1u);
  EXPECT_TRUE(test::isRequest(shortened->front(), CMD_SET_REGISTER, 0xEDF7));
  EXPECT_EQ(writes(), join({kChargerOff, kChargerOn}));
  EXPECT_EQ(charger_->requests(CMD_SET_REGISTER, 0xEDF7), 10u);
  EXPECT_TRUE(charger_->sim.chargerOn());
  // How far it got: nothing from the absorption voltage on.
  EXPECT_EQ(err_.str(), resendLines("absorption_voltage", 2, 10) +
                            "Store incomplete: settings written: none; not written: "
                            "absorption_voltage, battery_type; the charger confirmed it is "
                            "switched on.\n"
                            "The charger stopped answering during the store (no answer to the "
                            "absorption_voltage write).\n");
}

// A switch-off that the charger refused or left unanswered stops the store before any setting:
// the settings would go into a running charger. The switch-on is still tried, and the run ends
// with the switch-off's status.
TEST_F(StoreTest, FailedSwitchOffStopsTheStoreBeforeAnySetting) {
  struct Case {
    const char* name;
    bool unanswered;
    bool stateKnown;  // identification read the charger switched on; else it did not tell
    int status;
    std::string err;
  };
  const std::string notMade =
      "Store not made: the charger did not confirm the switch-off, so no setting was written; the "
      "charger confirmed it is switched on.\n";
  const Case cases[] = {
      {"refused", false, true, 22, notMade},
      {"refused, state unknown", false, false, 22, notMade},
      {"unanswered", true, true, 3,
       resendLines("switch-off", 2, 10) + "No response received (incorrect serial port?)\n" +
           notMade},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out_.str("");
    connect("load115");
    err_.str("");
    ASSERT_EQ(model_->capabilities.switchedOn, std::optional<bool>(true));
    if (!c.stateKnown) model_->capabilities.switchedOn.reset();
    sim::Faults faults;
    faults.refuseSwitchOff = !c.unanswered;
    faults.ignoreSwitchOff = c.unanswered;
    charger_->sim.setFaults(faults);
    // The switch-off's mode write, request 3.
    const auto shortened = c.unanswered ? shortenStore(2, 3) : nullptr;
    ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
    EXPECT_EQ(model_->storeSettings(out_, err_), c.status);
    if (shortened) {
      ASSERT_EQ(shortened->size(), 1u);
      EXPECT_TRUE(test::isRequest(shortened->front(), CMD_SET_REGISTER, REG_DEVICE_MODE));
    }
    // The unlock was taken, the mode write not; then the switch-on.
    EXPECT_EQ(writes(), join({WriteList{kChargerOff[0]}, kChargerOn}));
    EXPECT_EQ(charger_->requests(CMD_SET_REGISTER, REG_DEVICE_MODE), c.unanswered ? 11u : 2u);
    EXPECT_TRUE(charger_->sim.chargerOn());
    EXPECT_EQ(err_.str(), c.err);
    EXPECT_EQ(out_.str(), "absorption_voltage: 14.40 V -> 14.35 V\nbattery_type: 1 -> 255\n")
        << "no store banner";
  }
}

// A store that did not carry everything, or a switch-on the charger did not confirm, is reported
// in one line; the charger is always asked to switch on again.
TEST_F(StoreTest, StoreThatFailsSaysHowFarItGotAndWhetherTheChargerIsOn) {
  using Labels = std::vector<std::string>;
  const std::string leftOff =
      "may be left off (run `chgtune --switch-on`, or power-cycle the charger).\n";
  struct Case {
    const char* name;
    sim::Faults faults;
    // The exchanges the charger leaves unanswered, or answers late: those that begin after store
    // request quietAfter (0: none), up to the one after request quietUntil (shortenStore), and
    // the register the first of them sets.
    int quietAfter;
    int quietUntil;
    std::uint16_t quietSet;
    std::chrono::milliseconds quietTimeout;
    int status;  // -1: a failure is thrown
    // The expected report, given the labels to store and the place of the absorption voltage.
    std::function<std::string(const Labels&, std::size_t)> err;
  };
  sim::Faults refused, unplugged, unanswered, answeredLate;
  refused.refuseSet = {0xEDF7};
  // The absorption write answered at its fourth attempt: the store goes on, the three resends
  // announced.
  answeredLate.silentOnRegister = 0xEDF7;
  answeredLate.silentRequests = 3;
  // Off takes three requests and the restore's ping one; the second setting finds the line gone.
  unplugged.unplugAfter = 5;
  unanswered.ignoreSwitchOn = true;
  const Case cases[] = {
      {"refused write", refused, 0, 0, 0, 0ms, 95,
       [](const Labels& labels, std::size_t at) {
         Labels others = labels;
         others.erase(others.begin() + at);
         return "Store incomplete: settings written: " + listed(others, 0, others.size()) +
                "; not written: absorption_voltage; the charger confirmed it is switched on.\n";
       }},
      {"line lost", unplugged, 5, -1, 0xEDF1, 20ms, 3,
       [&](const Labels& labels, std::size_t) {
         // The line goes at the second setting's first attempt; its resend finds no port.
         return resendLines(labels[1], 2, 2) +
                "Store incomplete: settings written: " + listed(labels, 0, 1) +
                "; not written: " + listed(labels, 1, labels.size()) +
                "; the charger did not confirm it is switched on and " + leftOff +
                "The serial port " + charger_->sim.slavePath() +
                " failed during the store: write: Input/output error.\n";
       }},
      // Its fourth attempt is answered: each attempt waits long enough for that on a loaded
      // machine.
      {"write answered late", answeredLate, 4, 5, 0xEDF7, 300ms, 0,
       [&](const Labels&, std::size_t) { return resendLines("absorption_voltage", 2, 4); }},
      {"switch-on unanswered", unanswered, 8, 9, REG_DEVICE_MODE, 20ms, 3,
       [&](const Labels&, std::size_t) {
         return resendLines("switch-on", 2, 10) +
                "No response received (incorrect serial port?)\nThe charger did not confirm it "
                "is switched on after the store and " +
                leftOff;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out_.str("");
    connect("load115");
    err_.str("");
    charger_->sim.setFaults(c.faults);
    const auto shortened =
        c.quietAfter > 0 ? shortenStore(c.quietAfter, c.quietUntil, c.quietTimeout) : nullptr;
    ASSERT_TRUE(SettingSetters(*model_).setAbsorptionVoltage("14.35").isAccepted());
    const Labels labels = {"absorption_voltage", "battery_type"};  // what differs, in table order
    const std::size_t at = 0;
    int status = -1;
    try {
      status = model_->storeSettings(out_, err_);
    } catch (const std::exception&) {
    }
    EXPECT_EQ(status, c.status);
    if (shortened) {
      ASSERT_FALSE(shortened->empty());
      EXPECT_TRUE(test::isRequest(shortened->front(), CMD_SET_REGISTER, c.quietSet));
    }
    EXPECT_EQ(err_.str(), c.err(labels, at));
    if (!charger_->sim.unplugged()) {
      // The switch-on was asked for last, taken or not.
      const auto ids = charger_->requestedIds(CMD_SET_REGISTER);
      ASSERT_FALSE(ids.empty());
      EXPECT_EQ(ids.back(), REG_DEVICE_MODE);
    }
  }
}

// A settings file from a charger without a load output has no "load_control"; uploading it to a
// charger with a street-light timer must not fail over the clock step.
TEST_F(StoreTest, SettingsListWithoutLoadControlStoresWithoutTheClock) {
  connect("recent");
  model_->settings.clear();
  Vreg absorption("absorption_voltage", 0xEDF7, REG_NONE, 1);
  absorption.value = "05B4";
  absorption.status = VREG_OK;
  model_->settings.push(absorption);
  EXPECT_EQ(model_->storeSettings(out_, err_), 0);
  EXPECT_EQ(writes(), join({kChargerOff, WriteList{{0xEDF7, {0xB4, 0x05}}}, kChargerOn}));
}

TEST_F(StoreTest, UseFactoryTableFollowsTheRotarySwitch) {
  connect("rotary113");  // switch at position 3
  EXPECT_EQ(model_->useFactoryTable(), 0);
  EXPECT_EQ(model_->find("battery_type").value, "04");

  charger_->sim.setRegisterValue(REG_ROTARY_POSITION, {8});  // no such position
  EXPECT_EQ(model_->useFactoryTable(), 0);
  EXPECT_EQ(model_->find("battery_type").value, "01");

  charger_->sim.setRegisterValue(REG_ROTARY_POSITION, {7});
  EXPECT_EQ(model_->useFactoryTable(), 0);
  EXPECT_EQ(model_->find("battery_type").value, "08");

  sim::Faults faults;
  faults.refuseGet = {REG_ROTARY_POSITION};
  charger_->sim.setFaults(faults);
  EXPECT_EQ(model_->useFactoryTable(), 0);
  EXPECT_EQ(model_->find("battery_type").value, "01");
  EXPECT_TRUE(charger_->sim.writes().empty());  // nothing reaches the charger before a store
}

}  // namespace
}  // namespace sunlink
