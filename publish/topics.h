// The MQTT topics a charger's values go to, and the identity that tells chargers apart in them.
#pragma once

#include <string>

namespace sunlink {

// text with every character outside [A-Za-z0-9_-] left out: what a charger sends (its serial
// number) or the system names (its port) goes into topics and discovery ids this way, so that a
// "+", "#", "/", a blank or a control character in it never makes an invalid topic or one that
// reaches into another charger's.
std::string cleanTopicPart(const std::string& text);

// The charger's identity in its topics and discovery ids: the first of these that is not empty
// once cleaned: its serial number (from its TEXT block), the name of its port's link in
// /dev/serial/by-id (stablePort is that link's path; only its last part counts), its product id.
// "unknown" when all three are empty.
std::string chargerTopicId(const std::string& serial, const std::string& stablePort,
                           const std::string& productId);

// Where one charger publishes.
struct MqttTopics {
  std::string base;          // chgtune/ID, or the base the user gave
  std::string state;         // BASE/state: one JSON object per block
  std::string availability;  // BASE/availability: online / offline (retained)
};

// The topics below base; an empty base is chgtune/ and the charger's identity.
MqttTopics mqttTopics(const std::string& base, const std::string& chargerId);

}  // namespace sunlink
