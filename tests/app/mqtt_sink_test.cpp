// The watch's broker output without a network: what it publishes, where and when, against the fake
// publisher, which the test connects, fails and disconnects.
#include "app/mqtt_sink.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/fake_publisher.h"

namespace sunlink {
namespace {

using test::FakePublisher;

LiveBlock blockOf(const std::vector<std::pair<std::string, std::string>>& labels) {
  LiveDecoder decoder;
  for (const auto& [label, value] : labels) decoder.feed(label, value);
  decoder.feed("Checksum", "x");
  return LiveBlock{decoder.values(), std::chrono::system_clock::time_point()};
}

MqttSettings settingsWith(std::optional<std::string> topicBase = std::nullopt) {
  MqttOptions options;
  options.url = "mqtt://127.0.0.1";
  options.topicBase = std::move(topicBase);
  return makeMqttSettings(options);
}

// The topics a charger's first block chooses: its serial number cleaned, else its product id; or
// the base the user gave. Nothing a charger sends reaches into another topic.
TEST(MqttSinkTest, TopicsComeFromTheChargersIdentity) {
  struct Case {
    const char* name;
    std::string serial;
    std::optional<std::uint16_t> productId;
    std::optional<std::string> base;
    std::string state;
  };
  const Case cases[] = {
      {"the serial number", "HQ1234ABCDE", 0xA042, std::nullopt, "chgtune/HQ1234ABCDE/state"},
      {"wildcards, levels and blanks left out", "HQ/12+#3 \x01", 0xA042, std::nullopt,
       "chgtune/HQ123/state"},
      {"no serial number: the product id", "", 0xA042, std::nullopt, "chgtune/0xA042/state"},
      {"nothing usable", "+/#", std::nullopt, std::nullopt, "chgtune/unknown/state"},
      {"the user's base", "HQ1234ABCDE", 0xA042, std::string("solar/shed"), "solar/shed/state"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto owned = std::make_unique<FakePublisher>();
    FakePublisher& publisher = *owned;
    MqttSink sink(std::move(owned), settingsWith(c.base), true);
    WatchedCharger charger{"/dev/pts/77", c.productId, "", "", c.serial};
    EXPECT_TRUE(sink.show(blockOf({{"V", "13280"}}), charger));
    EXPECT_TRUE(publisher.started());
    EXPECT_EQ(sink.topics().state, c.state);
    EXPECT_EQ(publisher.availability(), c.state.substr(0, c.state.size() - 5) + "availability");
  }
}

// Blocks are published only while connected, the discovery configs before the first block of each
// connection; the availability follows the broker and the port; none is used under --count.
TEST(MqttSinkTest, PublishesWhileConnectedWithDiscoveryAfterEachConnect) {
  const std::string base = "chgtune/HQ1";
  const LiveBlock block = blockOf({{"V", "13280"}, {"CS", "3"}, {"H19", "1234"}});
  const std::vector<std::string> configs = {
      "homeassistant/sensor/chgtune_HQ1/battery_v/config",
      "homeassistant/sensor/chgtune_HQ1/state/config",
      "homeassistant/sensor/chgtune_HQ1/yield_total_kwh/config"};
  for (const bool availability : {true, false}) {
    SCOPED_TRACE(availability ? "watching" : "--count");
    auto owned = std::make_unique<FakePublisher>();
    FakePublisher& publisher = *owned;
    MqttSink sink(std::move(owned), settingsWith(), availability);
    const WatchedCharger charger{"/dev/pts/77", 0xA042, "MPPT 75/15", "1.15", "HQ1"};
    std::vector<std::string> expected;  // topics, in order
    const auto say = [&](const std::string& word) {
      if (availability) expected.push_back(base + "/availability=" + word);
    };
    const auto published = [&] {
      std::vector<std::string> topics;
      for (const auto& m : publisher.messages()) {
        const bool status = m.topic == base + "/availability";
        topics.push_back(m.topic + (status ? "=" + m.payload : ""));
      }
      return topics;
    };

    sink.show(block, charger);  // starts the publisher; not connected yet
    sink.show(block, charger);  // dropped
    publisher.connect();
    say("online");
    sink.show(block, charger);
    expected.insert(expected.end(), configs.begin(), configs.end());
    expected.push_back(base + "/state");
    sink.show(block, charger);
    expected.push_back(base + "/state");
    EXPECT_EQ(sink.published(), 2u);

    // The port goes away: offline at once; a block is the port back: online.
    sink.notice(WatchEvent::portLost);
    say("offline");
    sink.show(block, charger);
    say("online");
    expected.push_back(base + "/state");
    // Away again while the broker is away too: the reconnect says online, then offline.
    publisher.lose("gone");
    sink.show(block, charger);  // dropped
    sink.notice(WatchEvent::portLost);
    publisher.connect();
    say("online");
    say("offline");
    sink.notice(WatchEvent::portReopened);
    sink.show(block, charger);
    say("online");
    expected.insert(expected.end(), configs.begin(), configs.end());
    expected.push_back(base + "/state");
    sink.finish(0);
    say("offline");
    EXPECT_EQ(published(), expected);
    EXPECT_EQ(sink.published(), 4u);
    EXPECT_TRUE(publisher.stopped());
    EXPECT_EQ(sink.takeMessages().size(), 3u);  // connected, lost, connected
  }
}

// The configs of a block: each value it carries, codes and on/off as their words, the classes
// Home Assistant takes for each unit.
TEST(MqttSinkTest, DiscoveryConfigsDescribeTheBlocksValues) {
  auto owned = std::make_unique<FakePublisher>();
  FakePublisher& publisher = *owned;
  MqttSink sink(std::move(owned), settingsWith(), true);
  const WatchedCharger charger{"/dev/pts/77", 0xA042, "MPPT 75/15", "1.15", "HQ1"};
  const LiveBlock block = blockOf({{"V", "13280"},
                                   {"I", "-500"},
                                   {"PPV", "32"},
                                   {"LOAD", "ON"},
                                   {"ERR", "2"},
                                   {"H19", "1234"},
                                   {"H20", "12"},
                                   {"H22", "34"}});
  sink.show(block, charger);
  publisher.connect();
  sink.show(block, charger);
  struct Expected {
    std::string name, key, unit, deviceClass, stateClass;
  };
  const Expected expected[] = {
      {"battery_v", "battery_v", "V", "voltage", "measurement"},
      {"battery_a", "battery_a", "A", "current", "measurement"},
      {"panel_w", "panel_w", "W", "power", "measurement"},
      {"load", "load", "", "", ""},
      {"error", "error_name", "", "", ""},
      {"yield_total_kwh", "yield_total_kwh", "kWh", "energy", "total_increasing"},
      {"yield_today_kwh", "yield_today_kwh", "kWh", "energy", "total_increasing"},
      {"yield_yesterday_kwh", "yield_yesterday_kwh", "kWh", "energy", ""},
  };
  const auto messages = publisher.messages();
  ASSERT_EQ(messages.size(), 1 + std::size(expected) + 1);  // online, configs, state
  const nlohmann::json state = nlohmann::json::parse(messages.back().payload);
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    const auto& message = messages[1 + i];
    EXPECT_TRUE(message.retain);
    EXPECT_EQ(message.qos, 1);
    const nlohmann::json config = nlohmann::json::parse(message.payload);
    EXPECT_EQ(config.at("name"), e.name);
    EXPECT_EQ(config.at("value_template"), "{{ value_json." + e.key + " }}");
    EXPECT_TRUE(state.contains(e.key));
    EXPECT_EQ(config.value("unit_of_measurement", ""), e.unit);
    EXPECT_EQ(config.value("device_class", ""), e.deviceClass);
    EXPECT_EQ(config.value("state_class", ""), e.stateClass);
    EXPECT_EQ(config.at("device"), (nlohmann::json{{"identifiers", {"chgtune_HQ1"}},
                                                   {"name", "chgtune HQ1"},
                                                   {"model", "MPPT 75/15"},
                                                   {"sw_version", "1.15"}}));
  }
  EXPECT_EQ(state.at("error_name"), "battery voltage too high");
  EXPECT_FALSE(messages.back().retain);
  EXPECT_EQ(messages.back().qos, 1);
}

}  // namespace
}  // namespace sunlink
