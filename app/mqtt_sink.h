// The watch's broker output (--mqtt): each block the watch outputs is published as its JSON object
// to BASE/state, with Home Assistant's discovery configs after every connect and the charger's
// availability while its port is away.
//
// The topics need the charger's identity, which its first block gives: the publisher starts
// connecting with that block (which is not published: the connection is not up yet), with the
// availability topic as its will. From then on each block is published while the broker is
// connected and dropped while it is away (publish/publisher.h): nothing is queued.
//
// Threads: show, notice, finish and the other members on the watching thread; the publisher's
// events on its own thread, which the sink turns into messages that the watching thread takes and
// writes (takeMessages), so that one thread alone writes to standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/watch_sinks.h"
#include "publish/discovery.h"
#include "publish/mqtt_settings.h"
#include "publish/publisher.h"
#include "publish/topics.h"

namespace sunlink {

// The rows of Home Assistant's discovery configs for the values a block carries: each value under
// its name, with its unit and classes; a code or an on/off value as a text sensor of its words.
std::vector<DiscoveredValue> discoveredValues(const LiveValues& values);

class MqttSink : public WatchSink {
 public:
  // publisher: not started yet; the sink sets its event handler and availability and starts it.
  // availability: whether BASE/availability is used (not under --count, where a timer's run would
  // leave the sensors unavailable between runs).
  MqttSink(std::unique_ptr<Publisher> publisher, const MqttSettings& settings, bool availability);
  // Stops the publisher (its goodbye) if finish did not.
  ~MqttSink() override;
  MqttSink(const MqttSink&) = delete;
  MqttSink& operator=(const MqttSink&) = delete;

  // Starts the publisher with the first block; publishes the blocks after it while connected, the
  // discovery configs first after each connect. Always true: a broker that is away is no failure
  // of the watch.
  bool show(const LiveBlock& block, const WatchedCharger& charger) override;
  // The port gone: "offline" at once (and again after a reconnect while it stays away); "online"
  // comes back with the next block.
  void notice(WatchEvent event) override;
  // The goodbye ("offline" when availability is used), within the publisher's goodbye wait.
  void finish(int status) override;

  // What the broker did since the last call, as lines for standard error: each connect, and the
  // first failure of an outage with its reason.
  std::vector<std::string> takeMessages();
  // Blocks handed to the broker so far (--count counts them).
  std::uint64_t published() const;
  // How long the publisher has been trying to connect without success: since its start or since
  // the connection was lost. None before the start and while connected.
  std::optional<std::chrono::steady_clock::duration> awayFor() const;
  // The broker's last reason for a failed attempt or a lost connection.
  std::string lastReason() const;
  // "host:port" of the broker, for messages.
  std::string brokerText() const { return brokerName(settings_.broker); }
  // The topics; empty until the first block.
  const MqttTopics& topics() const { return topics_; }

 private:
  void start(const WatchedCharger& charger);
  void onEvent(const PublisherEvent& event);
  // Under mutex_: "offline" or "online" on the availability topic, when it is used.
  void sayAvailability(const char* word);

  const std::unique_ptr<Publisher> publisher_;
  const MqttSettings settings_;
  const bool availability_;
  // Set by start(), read-only afterwards.
  bool started_ = false;
  MqttTopics topics_;
  DiscoveryDevice device_;

  // Guards the members below, shared with the publisher's event handler.
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::uint64_t published_ = 0;
  // The connection the discovery configs were last published on (Publisher::connections).
  std::uint64_t discoveredOn_ = 0;
  bool portAway_ = false;
  std::optional<std::chrono::steady_clock::time_point> awaySince_;
  std::string lastReason_;
};

}  // namespace sunlink
