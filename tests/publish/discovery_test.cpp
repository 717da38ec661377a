// Home Assistant's discovery configs: one per value, with what Home Assistant accepts.
#include "publish/discovery.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace sunlink {
namespace {

TEST(Discovery, OneConfigPerValueWithTheClassesThatApply) {
  const DiscoveryDevice device{"HQ2231", "chgtune HQ2231", "MPPT 100/50", "1.17"};
  const MqttTopics topics = mqttTopics("", device.id);
  const std::vector<DiscoveredValue> values = {
      {"battery_v", "V", "voltage", "measurement", false, ""},
      {"yield_total_kwh", "kWh", "energy", "total_increasing", false, ""},
      // A code: the row's unit and classes go; its words are picked under their own key.
      {"state", "V", "voltage", "measurement", true, "state_name"},
      {"load", "", "", "", false, ""},
      {"bad/name+", "", "", "", false, ""},
  };
  const struct {
    std::string topic;
    nlohmann::json expected;  // without the device block
  } cases[] = {
      {"ha/sensor/chgtune_HQ2231/battery_v/config",
       {{"name", "battery_v"},
        {"unique_id", "chgtune_HQ2231_battery_v"},
        {"state_topic", "chgtune/HQ2231/state"},
        {"value_template", "{{ value_json.battery_v }}"},
        {"availability_topic", "chgtune/HQ2231/availability"},
        {"unit_of_measurement", "V"},
        {"device_class", "voltage"},
        {"state_class", "measurement"}}},
      {"ha/sensor/chgtune_HQ2231/yield_total_kwh/config",
       {{"name", "yield_total_kwh"},
        {"unique_id", "chgtune_HQ2231_yield_total_kwh"},
        {"state_topic", "chgtune/HQ2231/state"},
        {"value_template", "{{ value_json.yield_total_kwh }}"},
        {"availability_topic", "chgtune/HQ2231/availability"},
        {"unit_of_measurement", "kWh"},
        {"device_class", "energy"},
        {"state_class", "total_increasing"}}},
      {"ha/sensor/chgtune_HQ2231/state/config",
       {{"name", "state"},
        {"unique_id", "chgtune_HQ2231_state"},
        {"state_topic", "chgtune/HQ2231/state"},
        {"value_template", "{{ value_json.state_name }}"},
        {"availability_topic", "chgtune/HQ2231/availability"}}},
      {"ha/sensor/chgtune_HQ2231/load/config",
       {{"name", "load"},
        {"unique_id", "chgtune_HQ2231_load"},
        {"state_topic", "chgtune/HQ2231/state"},
        {"value_template", "{{ value_json.load }}"},
        {"availability_topic", "chgtune/HQ2231/availability"}}},
      {"ha/sensor/chgtune_HQ2231/badname/config",
       {{"name", "badname"},
        {"unique_id", "chgtune_HQ2231_badname"},
        {"state_topic", "chgtune/HQ2231/state"},
        {"value_template", "{{ value_json.badname }}"},
        {"availability_topic", "chgtune/HQ2231/availability"}}},
  };
  const nlohmann::json deviceBlock = {{"identifiers", nlohmann::json::array({"chgtune_HQ2231"})},
                                      {"name", "chgtune HQ2231"},
                                      {"model", "MPPT 100/50"},
                                      {"sw_version", "1.17"}};
  const std::vector<DiscoveryConfig> configs = discoveryConfigs("ha", device, topics, true, values);
  ASSERT_EQ(configs.size(), std::size(cases));
  for (std::size_t i = 0; i < configs.size(); ++i) {
    SCOPED_TRACE(cases[i].topic);
    EXPECT_EQ(configs[i].topic, cases[i].topic);
    nlohmann::json expected = cases[i].expected;
    expected["device"] = deviceBlock;
    EXPECT_EQ(nlohmann::json::parse(configs[i].payload), expected);
  }

  // A run without the availability topic (--count), and a device of unknown model and firmware.
  const std::vector<DiscoveryConfig> bare = discoveryConfigs(
      "homeassistant", {"HQ2231", "chgtune HQ2231", "", ""}, topics, false, {values[0]});
  ASSERT_EQ(bare.size(), 1U);
  EXPECT_EQ(bare[0].topic, "homeassistant/sensor/chgtune_HQ2231/battery_v/config");
  const nlohmann::json payload = nlohmann::json::parse(bare[0].payload);
  EXPECT_FALSE(payload.contains("availability_topic"));
  EXPECT_EQ(payload["device"],
            (nlohmann::json{{"identifiers", nlohmann::json::array({"chgtune_HQ2231"})},
                            {"name", "chgtune HQ2231"}}));
}

}  // namespace
}  // namespace sunlink
