// --watch --mqtt end to end: the simulated charger on a pseudo-terminal, a real mosquitto broker
// on a free port of 127.0.0.1 started by each test, and a subscriber that sees what reached it.
// The cases that need short waits for the broker run in this process; the availability, which
// follows the program's end, and --interval run the binary. Nothing may ever reach the charger.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/e2e_support.h"
#include "support/mqtt_broker.h"

namespace sunlink {
namespace test {
namespace {

using namespace std::chrono_literals;
using Labels = std::vector<std::pair<std::string, std::string>>;
using Messages = std::vector<ReceivedMessage>;

const Labels kKnownBlock = {
    {"PID", "0xA042"}, {"FW", "115"},    {"SER#", "HQ1234ABCDE"}, {"V", "13280"},
    {"I", "2450"},     {"VPV", "18100"}, {"PPV", "32"},           {"CS", "3"},
    {"MPPT", "2"},     {"ERR", "0"},     {"H19", "1234"},         {"H20", "12"},
};
const std::string kBase = "chgtune/HQ1234ABCDE";
const std::string kState = kBase + "/state";
const std::string kAvailability = kBase + "/availability";

// The known block; with movingCodes, its state and error are the simulator's to change (a fault it
// is told to raise).
sim::Profile knownProfile(bool movingCodes = false) {
  sim::Profile profile = sim::profileByName("load115");
  profile.textLabels.clear();
  for (const auto& [label, value] : kKnownBlock) {
    if (movingCodes && (label == "CS" || label == "ERR"))
      profile.textLabels.emplace_back(label, value);
    else
      sim::setTextLabel(profile, label, value);
  }
  return profile;
}

sim::Faults blocksEvery(std::chrono::milliseconds interval) {
  sim::Faults faults;
  faults.textInterval = interval;
  return faults;
}

// Short pauses between attempts; the connect wait as the case needs it.
InProcessOptions brokerWaits(std::chrono::milliseconds connectWait) {
  InProcessOptions options;
  options.timeouts.watch.brokerRetryFirst = 50ms;
  options.timeouts.watch.brokerRetryLongest = 200ms;
  options.timeouts.watch.brokerConnectWait = connectWait;
  return options;
}

std::size_t countOf(const Messages& messages, const std::string& topic) {
  std::size_t n = 0;
  for (const ReceivedMessage& m : messages) n += m.topic == topic;
  return n;
}

// The payloads of one topic, in the order they came.
std::vector<std::string> payloadsOf(const Messages& messages, const std::string& topic) {
  std::vector<std::string> payloads;
  for (const ReceivedMessage& m : messages)
    if (m.topic == topic) payloads.push_back(m.payload);
  return payloads;
}

void expectNothingSent(SimulatedCharger& charger) {
  EXPECT_TRUE(charger.sim().waitUntilRead(10s));
  EXPECT_EQ(charger.sim().bytesReceived(), 0u);
}

// A watch that publishes a number of blocks and ends (a timer's job): its settings, its login, TLS,
// and the status when the broker cannot be used.
TEST(MqttWatchTest, ACountedWatchPublishesItsBlocksOrSaysWhyNot) {
  if (const std::string missing = mqttBrokerMissing(); !missing.empty()) GTEST_SKIP() << missing;
  enum class Login { none, right, wrong, readable };
  struct Case {
    const char* name;
    TestBrokerOptions broker;
    bool tls;            // connect to the TLS listener
    const char* caFile;  // "ca": the broker's CA; "other": a CA of the test's own
    Login login;
    std::vector<std::string> args;
    std::chrono::milliseconds connectWait;
    int status;
    std::string said;   // on standard error
    std::string topic;  // where the state goes, empty when nothing is published
  };
  const Case cases[] = {
      {"the known block, with discovery", {}, false, "", Login::none, {}, 10s, 0, "", kState},
      {"JSON Lines too, a topic of its own, no discovery",
       {},
       false,
       "",
       Login::none,
       {"--json", "--mqtt-topic", "solar/shed", "--no-mqtt-discovery"},
       10s,
       0,
       "",
       "solar/shed/state"},
      {"a login", {true, false}, false, "", Login::right, {}, 10s, 0, "", kState},
      {"a password file others may read",
       {true, false},
       false,
       "",
       Login::readable,
       {},
       10s,
       0,
       "\" may be read by its group and others (mode 0644)",
       kState},
      {"a wrong password",
       {true, false},
       false,
       "",
       Login::wrong,
       {},
       1s,
       12,
       "not authorised",
       ""},
      {"TLS with the broker's CA", {false, true}, true, "ca", Login::none, {}, 10s, 0, "", kState},
      {"TLS with another CA",
       {false, true},
       true,
       "other",
       Login::none,
       {},
       1s,
       12,
       "certificate verify failed",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestBroker broker(c.broker);
    TestSubscriber subscriber(broker);
    SimulatedCharger charger(knownProfile(), blocksEvery(100ms));
    std::vector<std::string> args = {"--watch", "--count", "2", "--mqtt",
                                     c.tls ? broker.tlsUrl() : broker.url()};
    if (std::string(c.caFile) == "ca") args.insert(args.end(), {"--mqtt-cafile", broker.caFile()});
    if (std::string(c.caFile) == "other")
      args.insert(args.end(),
                  {"--mqtt-cafile", makeCertificateAuthority(broker.folder(), "other")});
    if (c.login != Login::none) {
      const std::string file = broker.file("password");
      writeFile(file, std::string(c.login == Login::wrong ? "moon panel" : kTestPassword) + "\n");
      ::chmod(file.c_str(), c.login == Login::readable ? 0644 : 0600);
      args.insert(args.end(), {"--mqtt-user", kTestUser, "--mqtt-password-file", file});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    const InProcessResult r = charger.runInProcess(args, brokerWaits(c.connectWait));
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.said.empty()) {
      EXPECT_TRUE(contains(r.err, c.said)) << r.err;
    }
    const bool json = c.args.size() > 0 && c.args[0] == "--json";
    if (c.topic.empty()) {
      EXPECT_TRUE(contains(r.err, "No connection to the MQTT broker 127.0.0.1:")) << r.err;
      EXPECT_EQ(countOf(subscriber.messages(), kState), 0u);
      expectNothingSent(charger);
      continue;
    }
    // Standard output holds the JSON Lines when asked for, and nothing else: the blocks before
    // the connection, then the two published.
    EXPECT_EQ(r.out.empty(), !json) << r.out;
    ASSERT_TRUE(subscriber.waitUntil([&](const Messages& m) { return countOf(m, c.topic) == 2; }));
    nlohmann::json state = nlohmann::json::parse(payloadsOf(subscriber.messages(), c.topic)[0]);
    state.erase("time");
    EXPECT_EQ(state, (nlohmann::json{{"product_id", "0xA042"},
                                     {"firmware", "1.15"},
                                     {"serial", "HQ1234ABCDE"},
                                     {"battery_v", 13.28},
                                     {"battery_a", 2.45},
                                     {"panel_v", 18.1},
                                     {"panel_w", 32},
                                     {"state", 3},
                                     {"state_name", "bulk"},
                                     {"tracker", 2},
                                     {"tracker_name", "MPP tracker active"},
                                     {"error", 0},
                                     {"error_name", "none"},
                                     {"yield_total_kwh", 12.34},
                                     {"yield_today_kwh", 0.12}}));
    // Under --count the availability is not used: no online, no offline, no will.
    const Messages messages = subscriber.messages();
    EXPECT_EQ(countOf(messages, kAvailability), 0u);
    std::size_t configs = 0;
    for (const ReceivedMessage& m : messages) {
      if (m.topic.rfind("homeassistant/sensor/chgtune_HQ1234ABCDE/", 0) != 0) continue;
      ++configs;
      const nlohmann::json config = nlohmann::json::parse(m.payload);
      EXPECT_EQ(config.at("state_topic"), kState);
      EXPECT_FALSE(config.contains("availability_topic"));
      EXPECT_EQ(config.at("device").at("model"), "MPPT 75/15");
      EXPECT_EQ(config.at("device").at("sw_version"), "1.15");
      if (m.topic == "homeassistant/sensor/chgtune_HQ1234ABCDE/state/config") {
        EXPECT_EQ(config.at("value_template"), "{{ value_json.state_name }}");
        EXPECT_FALSE(config.contains("unit_of_measurement"));
      }
      if (m.topic == "homeassistant/sensor/chgtune_HQ1234ABCDE/battery_v/config") {
        EXPECT_EQ(config.at("unique_id"), "chgtune_HQ1234ABCDE_battery_v");
        EXPECT_EQ(config.at("unit_of_measurement"), "V");
        EXPECT_EQ(config.at("device_class"), "voltage");
        EXPECT_EQ(config.at("state_class"), "measurement");
      }
    }
    // One config per value of the block, once: the run had one connection.
    EXPECT_EQ(configs, json ? 0u : 9u);
    expectNothingSent(charger);
  }
}

// Settings that cannot work end the run before the port is opened.
TEST(MqttWatchTest, SettingsThatCannotWorkEndTheRunAtOnce) {
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"--mqtt", "http://127.0.0.1"}, "--mqtt \"http://127.0.0.1\": unknown scheme \"http\""},
      {{"--mqtt", "mqtt://127.0.0.1:0"}, "the port \"0\" is no number from 1 to 65535"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-user", "u", "--mqtt-password-file", "/no/such"},
       "--mqtt-password-file: cannot read the password file \"/no/such\": No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    // A port that does not exist: the settings are refused before it is tried.
    std::vector<std::string> args = {"--serial", "/dev/chgtune-no-such-port", "--watch"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const InProcessResult r = runInProcess(args);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(contains(r.err, c.said)) << r.err;
    EXPECT_FALSE(contains(r.err, "chgtune-no-such-port")) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// The broker goes away in the middle of a watch and comes back: the watch says so, goes on, and
// publishes again, the discovery configs first.
TEST(MqttWatchTest, PublishingResumesAfterTheBrokerRestarts) {
  if (const std::string missing = mqttBrokerMissing(); !missing.empty()) GTEST_SKIP() << missing;
  TestBroker broker;
  SimulatedCharger charger(knownProfile(), blocksEvery(50ms));
  auto before = std::make_unique<TestSubscriber>(broker);
  auto run = std::async(std::launch::async, [&] {
    return charger.runInProcess({"--watch", "--count", "40", "--mqtt", broker.url()},
                                brokerWaits(10s));
  });
  ASSERT_TRUE(before->waitUntil([](const Messages& m) { return countOf(m, kState) >= 3; }));
  before.reset();
  broker.stop();
  broker.start();
  TestSubscriber after(broker);
  // The broker kept nothing: what comes now was published anew.
  EXPECT_TRUE(after.waitUntil([](const Messages& m) {
    return countOf(m, "homeassistant/sensor/chgtune_HQ1234ABCDE/battery_v/config") == 1 &&
           countOf(m, kState) >= 1;
  }));
  const InProcessResult r = run.get();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      contains(r.err, "The connection to the MQTT broker " + broker.url().substr(7) + " was lost"))
      << r.err;
  std::size_t connects = 0;
  for (std::size_t at = r.err.find("Connected to the MQTT broker"); at != std::string::npos;
       at = r.err.find("Connected to the MQTT broker", at + 1))
    ++connects;
  EXPECT_EQ(connects, 2u) << r.err;
  expectNothingSent(charger);
}

// The binary, watching until it is ended: "online" once connected; "offline" while the port is
// away and at a normal end, and as the broker's will when the program is killed. With --interval
// only a change of state or error is published before the interval is over.
TEST(MqttWatchTest, AvailabilityFollowsTheWatchAndIntervalsHoldBlocks) {
  if (const std::string missing = mqttBrokerMissing(); !missing.empty()) GTEST_SKIP() << missing;
  struct Case {
    const char* name;
    int signal;
    bool unplug;
    bool interval;
  };
  for (const Case& c : {Case{"SIGTERM after an unplugged port", SIGTERM, true, false},
                        Case{"SIGKILL: the will", SIGKILL, false, false},
                        Case{"--interval and a changing error", SIGTERM, false, true}}) {
    SCOPED_TRACE(c.name);
    TestBroker broker;
    TestSubscriber subscriber(broker);
    TempDir dir;
    const std::string port = dir.file("usb-Serial_Adapter_A1B2C3-if00-port0");
    auto first = std::make_unique<sim::ChargerSim>(knownProfile(c.interval), blocksEvery(100ms));
    std::filesystem::create_symlink(first->start(), port);
    std::vector<std::string> args = {"--serial", port, "--watch", "--mqtt", broker.url()};
    if (c.interval) args.insert(args.end(), {"--interval", "600", "--json"});
    Process run(chgtuneBinary(), args);
    // The availability as it changed: the same word said again in a row is no change. (The
    // goodbye's "offline" is now and then followed by the will's: the program's disconnect at
    // the end does not always reach the broker before its socket closes.)
    const auto changes = [](const Messages& m) {
      std::vector<std::string> words;
      for (const std::string& word : payloadsOf(m, kAvailability))
        if (words.empty() || words.back() != word) words.push_back(word);
      return words;
    };
    const auto availability = [&] { return changes(subscriber.messages()); };
    const auto waitForAvailability = [&](const std::vector<std::string>& expected) {
      return subscriber.waitUntil([&](const Messages& m) { return changes(m) == expected; });
    };
    ASSERT_TRUE(waitForAvailability({"online"})) << run.collected().err;
    std::vector<std::string> expected = {"online"};
    if (c.interval) {
      // Held: the blocks after the first come within the interval. A fault is published at once,
      // and so is its end.
      sim::Faults faults = blocksEvery(100ms);
      for (const int error : {2, 0}) {
        faults.textError = error;
        first->setFaults(faults);
        ASSERT_TRUE(subscriber.waitUntil([&](const Messages& m) {
          const auto states = payloadsOf(m, kState);
          return !states.empty() && nlohmann::json::parse(states.back()).at("error") == error;
        }));
      }
      const auto states = payloadsOf(subscriber.messages(), kState);
      ASSERT_EQ(states.size(), 2u);
      EXPECT_EQ(nlohmann::json::parse(states[0]).at("error_name"), "battery voltage too high");
    } else {
      ASSERT_TRUE(subscriber.waitUntil([](const Messages& m) { return countOf(m, kState) >= 1; }));
    }
    std::unique_ptr<sim::ChargerSim> again;
    if (c.unplug) {
      first->unplug();
      std::filesystem::remove(port);
      expected.push_back("offline");
      ASSERT_TRUE(waitForAvailability(expected)) << run.collected().err;
      again = std::make_unique<sim::ChargerSim>(knownProfile(), blocksEvery(100ms));
      std::filesystem::create_symlink(again->start(), port);
      const std::size_t states = countOf(subscriber.messages(), kState);
      expected.push_back("online");
      ASSERT_TRUE(waitForAvailability(expected)) << run.collected().err;
      EXPECT_TRUE(
          subscriber.waitUntil([&](const Messages& m) { return countOf(m, kState) > states; }));
    }
    run.signal(c.signal);
    const ProcessResult r = run.finish();
    expected.push_back("offline");
    EXPECT_TRUE(waitForAvailability(expected)) << r.err;
    if (c.signal == SIGTERM) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      // Without --json nothing on standard output; with it, the first block and the two changes.
      const std::size_t lines = std::count(r.out.begin(), r.out.end(), '\n');
      EXPECT_EQ(lines, c.interval ? 3u : 0u) << r.out;
    }
    EXPECT_EQ(availability(), expected);
    for (const auto* sim : {first.get(), again.get()}) {
      if (sim == nullptr) continue;
      EXPECT_TRUE(sim->waitUntilRead(10s));
      EXPECT_EQ(sim->bytesReceived(), 0u);
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace sunlink
