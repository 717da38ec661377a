// A publisher without a network, for tests of the code that publishes (the watch): it keeps what
// it was given and lets the test connect it, fail it and lose the connection, with the promises
// of publish/publisher.h: nothing is kept while disconnected, "online" comes before the connected
// event and any other message of a connection, "offline" is the goodbye on stop().
//
// Thread-safe: the code under test may publish from its own thread while the test steers. The
// event handler runs on the thread that calls connect(), fail() or lose().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "publish/publisher.h"

namespace sunlink {
namespace test {

class FakePublisher : public Publisher {
 public:
  struct Message {
    std::string topic;
    std::string payload;
    int qos = 0;
    bool retain = false;
    bool operator==(const Message& other) const {
      return topic == other.topic && payload == other.payload && qos == other.qos &&
             retain == other.retain;
    }
  };

  void setEventHandler(EventHandler handler) override { handler_ = std::move(handler); }
  void setAvailability(const std::string& topic) override { availability_ = topic; }
  void start() override {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = true;
  }
  bool publish(const std::string& topic, const std::string& payload, int qos,
               bool retain) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) return false;
    messages_.push_back({topic, payload, qos, retain});
    return true;
  }
  bool connected() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
  }
  std::uint64_t connections() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
  }
  bool waitConnected(std::chrono::milliseconds wait) override {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, wait, [this] { return connected_ || stopped_; }) && connected_;
  }
  void stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
    if (connected_ && !availability_.empty())
      messages_.push_back({availability_, "offline", 1, true});
    connected_ = false;
    changed_.notify_all();
  }

  // The test's controls: the broker accepts the connection (after start()), cannot be reached,
  // or goes away.
  void connect() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!started_ || stopped_ || connected_) return;
      if (!availability_.empty()) messages_.push_back({availability_, "online", 1, true});
      connected_ = true;
      ++connections_;
    }
    changed_.notify_all();
    report({PublisherEvent::Kind::connected, ""});
  }
  void fail(const std::string& reason) { report({PublisherEvent::Kind::unreachable, reason}); }
  void lose(const std::string& reason) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!connected_) return;
      connected_ = false;
    }
    report({PublisherEvent::Kind::lost, reason});
  }

  std::vector<Message> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  bool started() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
  }
  bool stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }
  const std::string& availability() const { return availability_; }

 private:
  void report(const PublisherEvent& event) {
    if (handler_) handler_(event);
  }

  // Set before start().
  EventHandler handler_;
  std::string availability_;
  // Guards the members below it.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool stopped_ = false;
  bool connected_ = false;
  std::uint64_t connections_ = 0;
  std::vector<Message> messages_;
};

}  // namespace test
}  // namespace sunlink
