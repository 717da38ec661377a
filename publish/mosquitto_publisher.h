// The publisher on libmosquitto: an MQTT 3.1.1 client with a thread of its own that connects,
// reconnects with a growing pause and says goodbye.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "publish/mqtt_settings.h"
#include "publish/publisher.h"

struct mosquitto;

namespace sunlink {

// Whether this build's libmosquitto can make TLS connections (mqtts://). The Windows build's
// library is compiled without TLS.
bool mqttTlsAvailable();

// Owns its libmosquitto client and its thread, which it joins in stop() (called by the destructor
// too). Every attempt to connect uses a fresh client, so nothing published to an earlier
// connection is sent again on a later one. The thread runs libmosquitto's network loop, its
// callbacks and the event handler; the other members may be called from any thread (publisher.h).
class MosquittoPublisher : public Publisher {
 public:
  // Checks that the settings can be used with this build's library (mqtts:// needs TLS); throws
  // mqtt_settings_error naming the problem. Connects only on start().
  explicit MosquittoPublisher(const MqttSettings& settings,
                              const PublisherTimeouts& timeouts = PublisherTimeouts());
  ~MosquittoPublisher() override;
  MosquittoPublisher(const MosquittoPublisher&) = delete;
  MosquittoPublisher& operator=(const MosquittoPublisher&) = delete;

  void setEventHandler(EventHandler handler) override;
  void setAvailability(const std::string& topic) override;
  void start() override;
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain) override;
  bool connected() const override { return connected_; }
  std::uint64_t connections() const override { return connections_; }
  bool waitConnected(std::chrono::milliseconds wait) override;
  void stop() override;

 private:
  struct ClientDeleter {
    void operator()(struct mosquitto* client) const;
  };
  using Client = std::unique_ptr<struct mosquitto, ClientDeleter>;

  // A new client with every setting applied; throws mqtt_settings_error when the library cannot
  // take one (TLS missing), std::runtime_error when it cannot make a client at all.
  Client makeClient();
  // The thread: attempts, connections and pauses until stop().
  void run();
  // One attempt: a fresh client and the start of its connection. False with reason when it failed
  // at once (or stop() came first).
  bool openConnection(std::string& reason);
  // Runs the network loop until the connection ends (or stop()'s goodbye is done); returns why it
  // ended, and in wasConnected whether the broker had accepted it.
  std::string serveConnection(bool& wasConnected);
  // After the broker has accepted the connection: "online", then the connection counts as up.
  bool markConnected();
  void report(PublisherEvent::Kind kind, const std::string& reason);
  // Why an attempt or connection ended, from what the library returned and what it said.
  std::string reasonFor(int result, int error);
  // Waits for the pause before the next attempt, or until stop().
  void pauseFor(std::chrono::milliseconds pause);

  // libmosquitto's callbacks (on the thread).
  static void onConnect(struct mosquitto*, void* self, int result);
  static void onDisconnect(struct mosquitto*, void* self, int result);
  static void onPublish(struct mosquitto*, void* self, int mid);
  // mosquitto_publish, counting a message the broker is to acknowledge. Under mutex_.
  bool publishCounted(const char* topic, const std::string& payload, int qos, bool retain);
  static void onLog(struct mosquitto*, void* self, int level, const char* text);

  const MqttSettings settings_;
  const PublisherTimeouts timeouts_;
  // Set before start(), read-only afterwards.
  EventHandler handler_;
  std::string availability_;

  // Guards client_ (replaced by the thread, used under it by publish() and stop()) and stopping_'s
  // meaning for the goodbye; connected_ becomes true only under it. connectedChanged_ waits on it.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Client client_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> connected_{false};
  std::atomic<std::uint64_t> connections_{0};
  // Messages of this connection that the broker has not acknowledged yet. The goodbye's disconnect
  // waits for them: a socket closed with acknowledgements still unread is reset, and the broker
  // then drops what it had not yet read (the last blocks, the goodbye) and says the will.
  std::atomic<int> unacknowledged_{0};

  // Used by the thread alone: what the callbacks of the current attempt saw.
  bool connackSeen_ = false;
  std::string refusal_;  // the broker's refusal of the login

  // The library's last error message (say, why a TLS handshake failed); the library may log from
  // any thread that calls it.
  std::mutex logMutex_;
  std::string lastError_;

  std::thread thread_;
};

}  // namespace sunlink
