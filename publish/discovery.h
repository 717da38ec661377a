// Home Assistant's MQTT discovery: one retained config message per value of the state object, so
// that the charger's values show up as sensors of one device without any set-up by hand.
#pragma once

#include <string>
#include <vector>

#include "publish/topics.h"

namespace sunlink {

// One value of the state object as Home Assistant is told of it. The rows come from the code
// that writes the state object, which knows the values' names and units.
struct DiscoveredValue {
  std::string name;         // its name, and its key in the state object, e.g. "battery_v"
  std::string unit;         // "V", "A", "W", "kWh"; empty: none
  std::string deviceClass;  // "voltage", "current", "power", "energy"; empty: none
  std::string stateClass;   // "measurement", "total_increasing"; empty: none
  // A code shown by its name (charge state, error, off reason): a text sensor, which takes no
  // unit, device class or state class whatever the row says.
  bool isCode = false;
  // Its key in the state object when that is not its name: a code's words are under
  // "state_name" beside its number under "state". Empty: the name.
  std::string key;
};

// The device the sensors belong to.
struct DiscoveryDevice {
  std::string id;         // the charger's identity in topics (chargerTopicId)
  std::string name;       // what Home Assistant shows, e.g. "chgtune HQ2231ABCDE"
  std::string model;      // the charger's product name; empty: not sent
  std::string swVersion;  // its firmware version; empty: not sent
};

struct DiscoveryConfig {
  std::string topic;    // PREFIX/sensor/chgtune_ID/NAME/config
  std::string payload;  // the JSON object
};

// The config of every value, in the order given: name, unique_id (chgtune_ID_NAME), state_topic,
// value_template ({{ value_json.KEY }}), availability_topic (when withAvailability), the unit and
// classes that apply, and the device block (identifiers chgtune_ID, name, model and sw_version
// when known; no maker is named). Names are cleaned like every topic part.
std::vector<DiscoveryConfig> discoveryConfigs(const std::string& prefix,
                                              const DiscoveryDevice& device,
                                              const MqttTopics& topics, bool withAvailability,
                                              const std::vector<DiscoveredValue>& values);

}  // namespace sunlink
