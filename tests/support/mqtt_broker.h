// A real MQTT broker for the publisher's tests, and a subscriber that collects what reaches it.
//
// TestBroker runs `mosquitto` on free ports of 127.0.0.1 (never another address, never a fixed
// port) with a configuration of its own in a temporary folder: optionally a password file made with
// mosquitto_passwd, and a TLS listener whose CA and server certificate it makes with openssl. It
// is ready once mosquitto says it runs, and is stopped (and reaped) in the destructor. Tests skip
// when mosquitto is not installed (mqttBrokerMissing()).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/e2e_support.h"
#include "support/process.h"

struct mosquitto;
struct mosquitto_message;

namespace sunlink {
namespace test {

// Why the broker tests cannot run here (mosquitto, mosquitto_passwd or openssl missing), or empty.
std::string mqttBrokerMissing();

// Makes a CA of its own in folder (NAME.pem, NAME.key) and returns its certificate's path: one
// that signed no broker's certificate, for a client that must not trust the broker.
std::string makeCertificateAuthority(const std::string& folder, const std::string& name);

struct TestBrokerOptions {
  // Logins are needed: the user "chgtune" with the password "solar panel" (kTestUser,
  // kTestPassword); no anonymous clients.
  bool passwords = false;
  // A TLS listener beside the plain one, with a server certificate for 127.0.0.1 signed by a CA the
  // broker makes (caFile()).
  bool tls = false;
};

constexpr const char* kTestUser = "chgtune";
constexpr const char* kTestPassword = "solar panel";

// Not copyable; one test thread.
class TestBroker {
 public:
  explicit TestBroker(const TestBrokerOptions& options = TestBrokerOptions());
  ~TestBroker();
  TestBroker(const TestBroker&) = delete;
  TestBroker& operator=(const TestBroker&) = delete;

  // mqtt://127.0.0.1:PORT and mqtts://127.0.0.1:TLSPORT.
  std::string url() const;
  std::string tlsUrl() const;
  std::uint16_t port() const { return port_; }
  // The CA that signed the TLS listener's certificate (PEM).
  std::string caFile() const { return folder_.file("ca.pem"); }
  // The broker's folder, and a file in it (for the test's own files).
  const std::string& folder() const { return folder_.path(); }
  std::string file(const std::string& name) const { return folder_.file(name); }

  // Stops the broker (it closes its clients' connections) and starts it again on the same ports.
  void stop();
  void start();
  bool running() const { return process_ != nullptr; }

 private:
  // Starts mosquitto on the chosen ports; false when it ended before it ran (a port taken).
  bool launch();

  TestBrokerOptions options_;
  TempDir folder_;
  std::uint16_t port_ = 0;
  std::uint16_t tlsPort_ = 0;
  std::unique_ptr<Process> process_;
};

// A message as a subscriber received it.
struct ReceivedMessage {
  std::string topic;
  std::string payload;
  int qos = 0;
  bool retained = false;  // delivered from the broker's store when subscribing
};

// A libmosquitto client subscribed to a topic filter, collecting every message on its own thread.
// Connects and subscribes in the constructor (fails the test when it cannot within 10 s).
class TestSubscriber {
 public:
  TestSubscriber(const TestBroker& broker, const std::string& filter = "#");
  ~TestSubscriber();
  TestSubscriber(const TestSubscriber&) = delete;
  TestSubscriber& operator=(const TestSubscriber&) = delete;

  // Waits until a message satisfies wanted (or 10 s pass); whether one did.
  bool waitFor(const std::function<bool(const ReceivedMessage&)>& wanted);
  // Waits for a message on topic with payload.
  bool waitFor(const std::string& topic, const std::string& payload);
  // Waits until the messages so far satisfy wanted (or 10 s pass); whether they did.
  bool waitUntil(const std::function<bool(const std::vector<ReceivedMessage>&)>& wanted);
  std::vector<ReceivedMessage> messages() const;

 private:
  static void onConnect(struct mosquitto*, void* self, int result);
  static void onSubscribe(struct mosquitto*, void* self, int, int, const int*);
  static void onMessage(struct mosquitto*, void* self, const mosquitto_message* message);

  std::string filter_;
  struct mosquitto* client_ = nullptr;
  // Guards subscribed_ and messages_, written by the client's thread.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool subscribed_ = false;
  std::vector<ReceivedMessage> messages_;
};

}  // namespace test
}  // namespace sunlink
