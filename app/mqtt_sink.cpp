#include "app/mqtt_sink.h"

#include <utility>

#include "platform/stable_port_name.h"
#include "protocol/live_forms.h"
#include "protocol/registers.h"

namespace sunlink {

namespace {

// State and availability are delivered at least once; the availability and the discovery configs
// are retained, so that a subscriber that comes later learns them at once.
constexpr int kQos = 1;

// Home Assistant's device class for a unit.
std::string deviceClassOf(const std::string& unit) {
  if (unit == "V") return "voltage";
  if (unit == "A") return "current";
  if (unit == "W") return "power";
  if (unit == "kWh") return "energy";
  return "";
}

}  // namespace

std::vector<DiscoveredValue> discoveredValues(const LiveValues& values) {
  std::vector<DiscoveredValue> rows;
  for (const LiveFieldInfo& info : liveFields()) {
    if (!values[info.field]) continue;
    DiscoveredValue row;
    row.name = info.name;
    if (info.nameOf != nullptr || info.kind == LiveKind::onOff) {
      // Its words: the JSON object carries a code's words under NAME_name.
      row.isCode = true;
      if (info.nameOf != nullptr) row.key = row.name + "_name";
    } else {
      row.unit = info.unit;
      row.deviceClass = deviceClassOf(row.unit);
      // Home Assistant keeps long-term statistics of energy only for totals: the total yield
      // only grows, today's restarts from 0 each day (which a total that increases allows);
      // yesterday's is neither, so it is shown without statistics rather than refused.
      if (info.field == LiveField::yieldTotal || info.field == LiveField::yieldToday)
        row.stateClass = "total_increasing";
      else if (info.field != LiveField::yieldYesterday)
        row.stateClass = "measurement";
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

MqttSink::MqttSink(std::unique_ptr<Publisher> publisher, const MqttSettings& settings,
                   bool availability)
    : publisher_(std::move(publisher)), settings_(settings), availability_(availability) {
  publisher_->setEventHandler([this](const PublisherEvent& event) { onEvent(event); });
}

MqttSink::~MqttSink() { publisher_->stop(); }

void MqttSink::start(const WatchedCharger& charger) {
  const std::string productId = charger.productId ? registerIdText(*charger.productId) : "";
  const std::string id = chargerTopicId(charger.serial, stablePortName(charger.port), productId);
  topics_ = mqttTopics(settings_.topicBase, id);
  device_.id = id;
  device_.name = "chgtune " + id;
  device_.model = !charger.model.empty() ? charger.model : productId;
  device_.swVersion = charger.firmware;
  publisher_->setAvailability(availability_ ? topics_.availability : "");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    awaySince_ = std::chrono::steady_clock::now();
  }
  // Before the publisher's thread starts, which reads it from then on.
  started_ = true;
  publisher_->start();
}

bool MqttSink::show(const LiveBlock& block, const WatchedCharger& charger) {
  if (!started_) {
    start(charger);
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const bool wasAway = portAway_;
  portAway_ = false;
  if (!publisher_->connected()) return true;
  // The port is back: the charger is available again. (A connect while it was away said
  // "online" by itself, and "offline" after it.)
  if (wasAway) sayAvailability("online");
  const std::uint64_t connection = publisher_->connections();
  if (settings_.discovery && connection != discoveredOn_) {
    bool all = true;
    for (const DiscoveryConfig& config :
         discoveryConfigs(settings_.discoveryPrefix, device_, topics_, availability_,
                          discoveredValues(block.values)))
      all = publisher_->publish(config.topic, config.payload, kQos, true) && all;
    // Tried again with the next block when the connection went in between.
    if (all) discoveredOn_ = connection;
  }
  if (publisher_->publish(topics_.state, liveJsonObject(block.values, block.at), kQos, false))
    ++published_;
  return true;
}

void MqttSink::notice(WatchEvent event) {
  if (event != WatchEvent::portLost) return;
  std::lock_guard<std::mutex> lock(mutex_);
  portAway_ = true;
  sayAvailability("offline");
}

void MqttSink::finish(int) { publisher_->stop(); }

void MqttSink::sayAvailability(const char* word) {
  if (availability_ && started_ && publisher_->connected())
    publisher_->publish(topics_.availability, word, kQos, true);
}

void MqttSink::onEvent(const PublisherEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string broker = brokerName(settings_.broker);
  switch (event.kind) {
    case PublisherEvent::Kind::connected:
      awaySince_.reset();
      messages_.push_back("Connected to the MQTT broker " + broker + "; publishing to " +
                          topics_.state + ".");
      // The publisher said "online" as it connected; the port is still away.
      if (portAway_) sayAvailability("offline");
      break;
    case PublisherEvent::Kind::unreachable:
      lastReason_ = event.reason;
      messages_.push_back("No connection to the MQTT broker " + broker + ": " + event.reason +
                          "; trying again.");
      break;
    case PublisherEvent::Kind::lost:
      lastReason_ = event.reason;
      awaySince_ = std::chrono::steady_clock::now();
      messages_.push_back("The connection to the MQTT broker " + broker +
                          " was lost: " + event.reason + "; reconnecting.");
      break;
  }
}

std::vector<std::string> MqttSink::takeMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

std::uint64_t MqttSink::published() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return published_;
}

std::optional<std::chrono::steady_clock::duration> MqttSink::awayFor() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!awaySince_) return std::nullopt;
  return std::chrono::steady_clock::now() - *awaySince_;
}

std::string MqttSink::lastReason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastReason_;
}

}  // namespace sunlink
