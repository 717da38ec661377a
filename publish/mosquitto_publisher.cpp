#include "publish/mosquitto_publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <boost/exception/info.hpp>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/errors.h"
#include "base/statuses.h"

namespace sunlink {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";
constexpr int kAvailabilityQos = 1;
// The longest the network loop waits for its socket before the thread looks at its own deadlines.
constexpr std::chrono::milliseconds kLoopSlice{1000};

// libmosquitto's global set-up (its network and TLS libraries), once per process. It is never
// undone: a publisher may be made at any time until the program ends.
void initialiseLibrary() {
  static const int initialised = mosquitto_lib_init();
  static_cast<void>(initialised);
}

std::string seconds(std::chrono::milliseconds wait) {
  const long long tenths = (wait.count() + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") +
         " s";
}

}  // namespace

bool mqttTlsAvailable() {
  initialiseLibrary();
  struct mosquitto* client = mosquitto_new(nullptr, true, nullptr);
  if (client == nullptr) return false;
  const int result = mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
  mosquitto_destroy(client);
  return result != MOSQ_ERR_NOT_SUPPORTED;
}

void MosquittoPublisher::ClientDeleter::operator()(struct mosquitto* client) const {
  mosquitto_destroy(client);
}

MosquittoPublisher::MosquittoPublisher(const MqttSettings& settings,
                                       const PublisherTimeouts& timeouts)
    : settings_(settings), timeouts_(timeouts) {
  initialiseLibrary();
  makeClient();  // every setting tried once, so that one the library refuses ends the run now
}

MosquittoPublisher::~MosquittoPublisher() { stop(); }

void MosquittoPublisher::setEventHandler(EventHandler handler) { handler_ = std::move(handler); }

void MosquittoPublisher::setAvailability(const std::string& topic) {
  availability_ = topic;
  makeClient();  // the will tried once, as the other settings were
}

void MosquittoPublisher::start() {
  if (!thread_.joinable() && !stopping_) thread_ = std::thread(&MosquittoPublisher::run, this);
}

MosquittoPublisher::Client MosquittoPublisher::makeClient() {
  // No client id: the library makes a random one. A clean session: the broker keeps nothing for
  // the client between connections, and nothing stale reaches it from an earlier one.
  Client client(mosquitto_new(nullptr, true, this));
  if (!client) throw std::runtime_error(std::string("MQTT client: ") + std::strerror(errno));
  struct mosquitto* raw = client.get();
  // The network loop is this publisher's own thread; publish() from another thread only queues.
  mosquitto_threaded_set(raw, true);
  // No limit on the messages awaiting the broker's acknowledgement: past the library's default of
  // 20 (a block's discovery configs and the block come near it) it holds further messages back
  // and sends them as acknowledgements come in, behind the goodbye's disconnect, which is queued
  // at once, so that the last blocks of a --count run and its "offline" would be lost. Messages are
  // published only while connected, and a lost connection takes its client with it.
  mosquitto_max_inflight_messages_set(raw, 0);
  mosquitto_connect_callback_set(raw, &MosquittoPublisher::onConnect);
  mosquitto_disconnect_callback_set(raw, &MosquittoPublisher::onDisconnect);
  mosquitto_publish_callback_set(raw, &MosquittoPublisher::onPublish);
  mosquitto_log_callback_set(raw, &MosquittoPublisher::onLog);
  if (!settings_.user.empty()) {
    const char* password = settings_.password ? settings_.password->c_str() : nullptr;
    if (mosquitto_username_pw_set(raw, settings_.user.c_str(), password) != MOSQ_ERR_SUCCESS)
      refuseMqttSetting("--mqtt-user: the user name or password cannot be used");
  }
  if (settings_.broker.tls) {
    const int result =
        settings_.caFile.empty()
            ? mosquitto_int_option(raw, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
            : mosquitto_tls_set(raw, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (result == MOSQ_ERR_NOT_SUPPORTED)
      refuseMqttSetting(
          "--mqtt: mqtts:// (MQTT over TLS) is not available in this build of chgtune");
    if (result != MOSQ_ERR_SUCCESS)
      refuseMqttSetting("--mqtt-cafile: the CA file \"" + settings_.caFile +
                        "\" cannot be used: " + mosquitto_strerror(result));
  }
  if (!availability_.empty()) {
    // Should the connection end without a goodbye, the broker says "offline" for the client.
    if (mosquitto_will_set(raw, availability_.c_str(), static_cast<int>(std::strlen(kOffline)),
                           kOffline, kAvailabilityQos, true) != MOSQ_ERR_SUCCESS)
      refuseMqttSetting("the availability topic \"" + availability_ + "\" cannot be used");
  }
  return client;
}

bool MosquittoPublisher::publish(const std::string& topic, const std::string& payload, int qos,
                                 bool retain) {
  // While the broker is away nothing is handed to the library, which would keep every QoS 1
  // message without limit and flood the broker with stale values when it returns.
  if (!connected_) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connected_ || !client_) return false;
  return publishCounted(topic.c_str(), payload, qos, retain);
}

bool MosquittoPublisher::publishCounted(const char* topic, const std::string& payload, int qos,
                                        bool retain) {
  // Counted before the library may see the acknowledgement, which its thread takes.
  if (qos > 0) ++unacknowledged_;
  const bool queued =
      mosquitto_publish(client_.get(), nullptr, topic, static_cast<int>(payload.size()),
                        payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
  if (!queued && qos > 0) --unacknowledged_;
  return queued;
}

bool MosquittoPublisher::waitConnected(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_for(lock, wait, [this] { return connected_.load() || stopping_.load(); }) &&
         connected_;
}

void MosquittoPublisher::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_.exchange(true)) return;
    if (client_) {
      // The goodbye: "offline" for those who watch, queued behind what is still unsent, which
      // thus goes out first. The thread (this wakes it) disconnects once the broker has
      // acknowledged all of it, after which the broker does not publish the will.
      if (connected_ && !availability_.empty())
        publishCounted(availability_.c_str(), kOffline, kAvailabilityQos, true);
    }
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MosquittoPublisher::run() {
  std::chrono::milliseconds pause = timeouts_.reconnectFirst;
  // Whether the present outage has been reported: a broker that stays away is reported once, not
  // once per attempt.
  bool outageReported = false;
  while (!stopping_) {
    std::string reason;
    bool wasConnected = false;
    if (openConnection(reason)) reason = serveConnection(wasConnected);
    connected_ = false;
    if (stopping_) break;
    if (wasConnected) {
      report(PublisherEvent::Kind::lost, reason);
      outageReported = true;
      pause = timeouts_.reconnectFirst;
    } else if (!outageReported) {
      report(PublisherEvent::Kind::unreachable, reason);
      outageReported = true;
    }
    pauseFor(pause);
    pause = std::min(pause * 2, timeouts_.reconnectLongest);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  client_.reset();
}

bool MosquittoPublisher::openConnection(std::string& reason) {
  connackSeen_ = false;
  refusal_.clear();
  {
    std::lock_guard<std::mutex> log(logMutex_);
    lastError_.clear();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return false;
  // A fresh client for every attempt: the one before may still hold messages given to it in the
  // moment its connection was lost, which it would send again on the next connection.
  client_.reset();
  unacknowledged_ = 0;
  try {
    client_ = makeClient();
  } catch (const std::exception& e) {
    reason = e.what();
    return false;
  }
  const int keepAlive = static_cast<int>(timeouts_.keepAlive.count());
  // Returns once the name is looked up and the TCP connection begun; the loop completes it.
  errno = 0;
  const int result = mosquitto_connect_async(client_.get(), settings_.broker.host.c_str(),
                                             settings_.broker.port, keepAlive);
  if (result != MOSQ_ERR_SUCCESS) {
    reason = reasonFor(result, errno);
    client_.reset();
    return false;
  }
  return true;
}

std::string MosquittoPublisher::serveConnection(bool& wasConnected) {
  // client_ is replaced by this thread alone, so it may be read here without the lock.
  struct mosquitto* client = client_.get();
  const Clock::time_point answerBy = Clock::now() + timeouts_.connectWait;
  Clock::time_point goodbyeBy = Clock::time_point::max();
  bool disconnecting = false;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (stopping_ && goodbyeBy == Clock::time_point::max()) goodbyeBy = now + timeouts_.goodbyeWait;
    if (stopping_ && !wasConnected) return "";
    if (stopping_ && !disconnecting && unacknowledged_ <= 0) {
      // Everything is acknowledged (or never was to be): the disconnect goes out, the library
      // closes the socket after it, and the next loop ends with that.
      mosquitto_disconnect(client);
      disconnecting = true;
    }
    Clock::time_point until = std::min(goodbyeBy, now + kLoopSlice);
    if (!wasConnected) until = std::min(until, answerBy);
    const auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    errno = 0;
    const int result =
        mosquitto_loop(client, static_cast<int>(std::max<long long>(slice.count(), 0)), 1);
    const int error = errno;
    if (result != MOSQ_ERR_SUCCESS) return stopping_ ? "" : reasonFor(result, error);
    if (connackSeen_ && !wasConnected) {
      connackSeen_ = false;
      if (!markConnected()) continue;  // stop() came first: its goodbye is under way
      wasConnected = true;
      report(PublisherEvent::Kind::connected, "");
    }
    if (Clock::now() >= goodbyeBy) return "";
    if (!wasConnected && Clock::now() >= answerBy)
      return "no answer within " + seconds(timeouts_.connectWait);
  }
}

bool MosquittoPublisher::markConnected() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Under the lock, so that stop() sees either no connection (and "online" is never sent) or
    // one that said "online" (and its goodbye says "offline" after it).
    if (stopping_) return false;
    if (!availability_.empty())
      publishCounted(availability_.c_str(), kOnline, kAvailabilityQos, true);
    connected_ = true;
    ++connections_;
  }
  wake_.notify_all();
  return true;
}

void MosquittoPublisher::report(PublisherEvent::Kind kind, const std::string& reason) {
  if (handler_) handler_(PublisherEvent{kind, reason});
}

std::string MosquittoPublisher::reasonFor(int result, int error) {
  if (!refusal_.empty()) return refusal_;
  std::string logged;
  {
    std::lock_guard<std::mutex> log(logMutex_);
    logged = lastError_;
  }
  // A TLS failure: the library's log names OpenSSL's reason ("certificate verify failed").
  if (result == MOSQ_ERR_TLS && !logged.empty()) return logged;
  if (result == MOSQ_ERR_ERRNO && error != 0) return std::strerror(error);
  if (result == MOSQ_ERR_EAI) return "cannot find the host \"" + settings_.broker.host + "\"";
  if (!logged.empty()) return logged;
  // "The connection was lost." reads without its full stop inside a message.
  std::string text = mosquitto_strerror(result);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void MosquittoPublisher::pauseFor(std::chrono::milliseconds pause) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, pause, [this] { return stopping_.load(); });
}

void MosquittoPublisher::onConnect(struct mosquitto*, void* self, int result) {
  auto* publisher = static_cast<MosquittoPublisher*>(self);
  // Only noted here: the rest is done outside the library's callback, with none of its locks held.
  if (result == 0) {
    publisher->connackSeen_ = true;
  } else {
    std::string refusal = mosquitto_connack_string(result);
    // "Connection Refused: not authorised." reads "refused: not authorised" in a message.
    if (!refusal.empty() && refusal.back() == '.') refusal.pop_back();
    const std::size_t colon = refusal.find(": ");
    publisher->refusal_ =
        "the broker refused the login" +
        (colon == std::string::npos ? std::string() : ": " + refusal.substr(colon + 2));
  }
}

void MosquittoPublisher::onPublish(struct mosquitto*, void* self, int) {
  --static_cast<MosquittoPublisher*>(self)->unacknowledged_;
}

void MosquittoPublisher::onDisconnect(struct mosquitto*, void* self, int) {
  static_cast<MosquittoPublisher*>(self)->connected_ = false;
}

void MosquittoPublisher::onLog(struct mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || text == nullptr) return;
  auto* publisher = static_cast<MosquittoPublisher*>(self);
  std::string message = text;
  // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the last part.
  const std::size_t cut = message.rfind("::");
  if (message.compare(0, 8, "OpenSSL ") == 0 && cut != std::string::npos)
    message = message.substr(cut + 2);
  std::lock_guard<std::mutex> log(publisher->logMutex_);
  publisher->lastError_ = message;
}

}  // namespace sunlink
