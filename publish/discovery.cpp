#include "publish/discovery.h"

#include <nlohmann/json.hpp>

namespace sunlink {

std::vector<DiscoveryConfig> discoveryConfigs(const std::string& prefix,
                                              const DiscoveryDevice& device,
                                              const MqttTopics& topics, bool withAvailability,
                                              const std::vector<DiscoveredValue>& values) {
  const std::string deviceId = "chgtune_" + cleanTopicPart(device.id);
  nlohmann::json deviceBlock = {{"identifiers", nlohmann::json::array({deviceId})},
                                {"name", device.name}};
  if (!device.model.empty()) deviceBlock["model"] = device.model;
  if (!device.swVersion.empty()) deviceBlock["sw_version"] = device.swVersion;

  std::vector<DiscoveryConfig> configs;
  configs.reserve(values.size());
  for (const DiscoveredValue& value : values) {
    const std::string name = cleanTopicPart(value.name);
    const std::string key = value.key.empty() ? name : cleanTopicPart(value.key);
    nlohmann::json config = {
        {"name", name},
        {"unique_id", deviceId + "_" + name},
        {"state_topic", topics.state},
        {"value_template", "{{ value_json." + key + " }}"},
    };
    if (withAvailability) config["availability_topic"] = topics.availability;
    // Home Assistant refuses an empty class, and a unit or state class on a text sensor.
    if (!value.isCode) {
      if (!value.unit.empty()) config["unit_of_measurement"] = value.unit;
      if (!value.deviceClass.empty()) config["device_class"] = value.deviceClass;
      if (!value.stateClass.empty()) config["state_class"] = value.stateClass;
    }
    config["device"] = deviceBlock;
    configs.push_back({prefix + "/sensor/" + deviceId + "/" + name + "/config", config.dump()});
  }
  return configs;
}

}  // namespace sunlink
