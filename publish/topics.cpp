#include "publish/topics.h"

namespace sunlink {

std::string cleanTopicPart(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (const char c : text) {
    // Spelled out rather than by the C locale's classes, which a locale could widen.
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    if (kept) clean += c;
  }
  return clean;
}

std::string chargerTopicId(const std::string& serial, const std::string& stablePort,
                           const std::string& productId) {
  const std::string portName = stablePort.substr(stablePort.find_last_of("/\\") + 1);
  for (const std::string* candidate : {&serial, &portName, &productId}) {
    std::string clean = cleanTopicPart(*candidate);
    if (!clean.empty()) return clean;
  }
  return "unknown";
}

MqttTopics mqttTopics(const std::string& base, const std::string& chargerId) {
  MqttTopics topics;
  topics.base = base.empty() ? "chgtune/" + chargerId : base;
  topics.state = topics.base + "/state";
  topics.availability = topics.base + "/availability";
  return topics;
}

}  // namespace sunlink
