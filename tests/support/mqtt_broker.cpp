#include "support/mqtt_broker.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sunlink {
namespace test {

namespace {

constexpr std::chrono::seconds kWait{10};

// A program by name: in PATH, or in the system folders where Debian puts mosquitto (/usr/sbin,
// which a user's PATH may lack). Empty when missing.
std::string program(const std::string& name) {
  std::string folders = "/usr/sbin:/usr/bin:/sbin:/bin";
  if (const char* path = std::getenv("PATH")) folders = std::string(path) + ":" + folders;
  std::istringstream list(folders);
  std::string folder;
  while (std::getline(list, folder, ':')) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// A port of 127.0.0.1 that nothing listens on now: the system's pick for a socket bound to port 0.
// Another program may take it before the broker does; the broker then fails to start and is
// started again on another pick.
std::uint16_t freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  if (!ok) throw std::runtime_error("no free port on 127.0.0.1");
  return ntohs(address.sin_port);
}

void run(const std::string& name, const std::vector<std::string>& args) {
  const ProcessResult result = runProcess(program(name), args);
  if (result.exitCode != 0)
    throw std::runtime_error(name + " failed (" + std::to_string(result.exitCode) +
                             "): " + result.err);
}

// An EC key and a certificate signed by the CA in folder (ca.pem, ca.key), or self-signed when
// that is the CA being made.
void makeKeyAndCertificate(const std::string& folder, const std::string& name,
                           const std::string& subject, bool authority) {
  const std::string key = folder + "/" + name + ".key";
  const std::string certificate = folder + "/" + name + ".pem";
  const std::vector<std::string> newKey = {
      "-newkey", "ec",    "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
      key,       "-subj", subject};
  if (authority) {
    std::vector<std::string> args = {"req", "-x509", "-days", "2", "-out", certificate};
    args.insert(args.end(), newKey.begin(), newKey.end());
    run("openssl", args);
    return;
  }
  const std::string request = folder + "/" + name + ".csr";
  const std::string extensions = folder + "/" + name + ".ext";
  std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1\n";
  std::vector<std::string> args = {"req", "-new", "-out", request};
  args.insert(args.end(), newKey.begin(), newKey.end());
  run("openssl", args);
  run("openssl",
      {"x509", "-req", "-in", request, "-CA", folder + "/ca.pem", "-CAkey", folder + "/ca.key",
       "-CAcreateserial", "-days", "2", "-extfile", extensions, "-out", certificate});
}

// Whether a broker on port answers an MQTT login (accepting or refusing it) within kWait: then its
// main loop runs. (mosquitto says it runs a moment before; a SIGTERM in that moment is lost.)
bool answersMqtt(std::uint16_t port) {
  mosquitto_lib_init();
  struct mosquitto* client = mosquitto_new(nullptr, true, nullptr);
  if (client == nullptr) return false;
  bool answered = false;
  mosquitto_user_data_set(client, &answered);
  mosquitto_connect_callback_set(
      client, [](struct mosquitto*, void* flag, int) { *static_cast<bool*>(flag) = true; });
  mosquitto_username_pw_set(client, kTestUser, kTestPassword);
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  if (mosquitto_connect(client, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS) {
    while (!answered && std::chrono::steady_clock::now() < deadline &&
           mosquitto_loop(client, 100, 1) == MOSQ_ERR_SUCCESS) {
    }
    mosquitto_disconnect(client);
  }
  mosquitto_destroy(client);
  return answered;
}

}  // namespace

std::string mqttBrokerMissing() {
  for (const char* name : {"mosquitto", "mosquitto_passwd", "openssl"})
    if (program(name).empty())
      return std::string(name) + " is not installed (scripts/deps installs it)";
  return "";
}

std::string makeCertificateAuthority(const std::string& folder, const std::string& name) {
  makeKeyAndCertificate(folder, name, "/CN=chgtune test " + name, true);
  return folder + "/" + name + ".pem";
}

TestBroker::TestBroker(const TestBrokerOptions& options) : options_(options) {
  std::ostringstream config;
  config << "persistence false\n"
         << "connection_messages false\n"
         << "log_dest stderr\n"
         << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
         << "allow_anonymous " << (options.passwords ? "false" : "true") << "\n";
  // Run as root (the test suite often is), mosquitto would change to its own user, which may not
  // read this folder; it stays root when told so (and ignores the line otherwise).
  if (::geteuid() == 0) config << "user root\n";
  if (options.passwords) {
    const std::string passwords = folder_.file("passwords");
    std::ofstream(passwords).close();
    run("mosquitto_passwd", {"-b", passwords, kTestUser, kTestPassword});
    config << "password_file " << passwords << "\n";
  }
  if (options.tls) {
    makeCertificateAuthority(folder_.path(), "ca");
    makeKeyAndCertificate(folder_.path(), "server", "/CN=127.0.0.1", false);
  }
  std::ofstream(folder_.file("common.conf")) << config.str();
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = freePort();
    tlsPort_ = options.tls ? freePort() : 0;
    if (launch()) return;
  }
  throw std::runtime_error("mosquitto did not start in 5 attempts (its messages are above)");
}

TestBroker::~TestBroker() {
  if (process_) stop();
}

bool TestBroker::launch() {
  std::ostringstream config;
  config << std::ifstream(folder_.file("common.conf")).rdbuf();
  config << "listener " << port_ << " 127.0.0.1\n";
  if (options_.tls) {
    config << "listener " << tlsPort_ << " 127.0.0.1\n"
           << "cafile " << caFile() << "\n"
           << "certfile " << folder_.file("server.pem") << "\n"
           << "keyfile " << folder_.file("server.key") << "\n";
  }
  const std::string file = folder_.file("mosquitto.conf");
  std::ofstream(file) << config.str();
  process_ = std::make_unique<Process>(program("mosquitto"), std::vector<std::string>{"-c", file});
  // It says it runs once every listener is open (or ends when a port is taken).
  if (process_->waitForErr(" running")) {
    if (answersMqtt(port_)) return true;
    throw std::runtime_error("mosquitto runs but does not answer on port " + std::to_string(port_));
  }
  const ProcessResult ended = process_->finish();
  std::cerr << "mosquitto ended before it ran: " << ended.err << "\n";
  process_.reset();
  return false;
}

void TestBroker::stop() {
  process_->signal(SIGTERM);
  process_->finish();
  process_.reset();
}

void TestBroker::start() {
  if (!launch()) throw std::runtime_error("mosquitto did not start again on its ports");
}

std::string TestBroker::url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

std::string TestBroker::tlsUrl() const { return "mqtts://127.0.0.1:" + std::to_string(tlsPort_); }

TestSubscriber::TestSubscriber(const TestBroker& broker, const std::string& filter)
    : filter_(filter) {
  mosquitto_lib_init();
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) throw std::runtime_error("mosquitto_new failed");
  mosquitto_connect_callback_set(client_, &TestSubscriber::onConnect);
  mosquitto_subscribe_callback_set(client_, &TestSubscriber::onSubscribe);
  mosquitto_message_callback_set(client_, &TestSubscriber::onMessage);
  mosquitto_username_pw_set(client_, kTestUser, kTestPassword);
  if (mosquitto_connect(client_, "127.0.0.1", broker.port(), 60) != MOSQ_ERR_SUCCESS)
    throw std::runtime_error("the subscriber cannot connect");
  mosquitto_loop_start(client_);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, kWait, [this] { return subscribed_; }))
    ADD_FAILURE() << "the subscriber was not subscribed within 10 s";
}

TestSubscriber::~TestSubscriber() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
}

void TestSubscriber::onConnect(struct mosquitto* client, void* self, int result) {
  if (result == 0)
    mosquitto_subscribe(client, nullptr, static_cast<TestSubscriber*>(self)->filter_.c_str(), 1);
}

void TestSubscriber::onSubscribe(struct mosquitto*, void* self, int, int, const int*) {
  auto* subscriber = static_cast<TestSubscriber*>(self);
  {
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
  }
  subscriber->changed_.notify_all();
}

void TestSubscriber::onMessage(struct mosquitto*, void* self,
                               const struct mosquitto_message* message) {
  auto* subscriber = static_cast<TestSubscriber*>(self);
  ReceivedMessage received;
  received.topic = message->topic;
  received.payload.assign(static_cast<const char*>(message->payload),
                          static_cast<std::size_t>(message->payloadlen));
  received.qos = message->qos;
  received.retained = message->retain;
  {
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->messages_.push_back(std::move(received));
  }
  subscriber->changed_.notify_all();
}

bool TestSubscriber::waitFor(const std::function<bool(const ReceivedMessage&)>& wanted) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kWait, [&] {
    for (const ReceivedMessage& message : messages_)
      if (wanted(message)) return true;
    return false;
  });
}

bool TestSubscriber::waitFor(const std::string& topic, const std::string& payload) {
  return waitFor([&](const ReceivedMessage& message) {
    return message.topic == topic && message.payload == payload;
  });
}

bool TestSubscriber::waitUntil(
    const std::function<bool(const std::vector<ReceivedMessage>&)>& wanted) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kWait, [&] { return wanted(messages_); });
}

std::vector<ReceivedMessage> TestSubscriber::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

}  // namespace test
}  // namespace sunlink
