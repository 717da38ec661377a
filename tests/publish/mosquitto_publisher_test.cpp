// The publisher against a real broker (mosquitto on a loopback port of the test's own): what
// reaches subscribers, the availability topic and the will, outages and reconnection, logins and
// TLS.
#include "publish/mosquitto_publisher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <vector>

#include "support/mqtt_broker.h"

namespace sunlink {
namespace {

using namespace std::chrono_literals;
using Kind = PublisherEvent::Kind;

// Short pauses, so that outages are over quickly; the connect wait stays long enough for a loaded
// machine.
PublisherTimeouts shortTimeouts() {
  PublisherTimeouts timeouts;
  timeouts.reconnectFirst = 20ms;
  timeouts.reconnectLongest = 80ms;
  timeouts.connectWait = 5s;
  return timeouts;
}

MqttSettings settingsFor(const std::string& url) {
  MqttOptions options;
  options.url = url;
  return makeMqttSettings(options);
}

// The events a publisher reported, from its thread.
class EventLog {
 public:
  Publisher::EventHandler handler() {
    return [this](const PublisherEvent& event) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
      }
      changed_.notify_all();
    };
  }
  // Waits until count events have come (10 s at most); all of them.
  std::vector<PublisherEvent> waitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return events_.size() >= count; });
    return events_;
  }
  std::vector<Kind> kinds() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Kind> kinds;
    for (const PublisherEvent& event : events_) kinds.push_back(event.kind);
    return kinds;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PublisherEvent> events_;
};

class MosquittoPublisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::mqttBrokerMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
  }
};

bool retainedOn(const test::ReceivedMessage& message, const std::string& topic,
                const std::string& payload) {
  return message.retained && message.topic == topic && message.payload == payload;
}

TEST_F(MosquittoPublisherTest, PublishesWhileConnectedAndSaysOnlineThenOfflineRetained) {
  test::TestBroker broker;
  test::TestSubscriber subscriber(broker);
  const std::string availability = "chgtune/HQ1/availability";
  const std::string state = "chgtune/HQ1/state";
  EventLog events;
  MosquittoPublisher publisher(settingsFor(broker.url()), shortTimeouts());
  publisher.setEventHandler(events.handler());
  publisher.setAvailability(availability);
  EXPECT_FALSE(publisher.publish(state, "before start", 1, false));
  publisher.start();
  ASSERT_TRUE(publisher.waitConnected(10s));
  EXPECT_TRUE(publisher.publish(state, R"({"battery_v":13.21})", 1, false));
  EXPECT_TRUE(subscriber.waitFor(availability, "online"));
  EXPECT_TRUE(subscriber.waitFor([&](const test::ReceivedMessage& message) {
    return message.topic == state && message.payload == R"({"battery_v":13.21})" &&
           message.qos == 1;
  }));
  EXPECT_TRUE(test::TestSubscriber(broker, availability).waitFor([&](const auto& message) {
    return retainedOn(message, availability, "online");
  }));

  // Without an availability topic (a run with --count): no online, no offline, no will.
  MosquittoPublisher counted(settingsFor(broker.url()), shortTimeouts());
  counted.start();
  ASSERT_TRUE(counted.waitConnected(10s));
  EXPECT_TRUE(counted.publish("chgtune/HQ2/state", "{}", 1, false));
  counted.stop();
  EXPECT_TRUE(subscriber.waitFor("chgtune/HQ2/state", "{}"));

  publisher.stop();
  EXPECT_FALSE(publisher.connected());
  EXPECT_FALSE(publisher.publish(state, "after stop", 1, false));
  EXPECT_TRUE(subscriber.waitFor(availability, "offline"));
  EXPECT_TRUE(test::TestSubscriber(broker, availability).waitFor([&](const auto& message) {
    return retainedOn(message, availability, "offline");
  }));
  for (const test::ReceivedMessage& message : subscriber.messages()) {
    EXPECT_NE(message.payload, "before start");
    EXPECT_NE(message.payload, "after stop");
    EXPECT_NE(message.topic, "chgtune/HQ2/availability");
  }
  EXPECT_EQ(events.kinds(), std::vector<Kind>{Kind::connected});
  EXPECT_EQ(publisher.connections(), 1U);
}

TEST_F(MosquittoPublisherTest, WillSaysOfflineWhenTheConnectionEndsWithoutAGoodbye) {
  // Forked, not started again: the child must reach this broker. No thread exists yet to fork.
  GTEST_FLAG_SET(death_test_style, "fast");
  test::TestBroker broker;
  const std::string availability = "chgtune/HQ3/availability";
  EXPECT_EXIT(
      {
        MosquittoPublisher publisher(settingsFor(broker.url()), shortTimeouts());
        publisher.setAvailability(availability);
        publisher.start();
        if (!publisher.waitConnected(10s)) ::_exit(1);
        // Gone at once, as when the program is killed or the machine loses power.
        ::kill(::getpid(), SIGKILL);
        ::pause();
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_TRUE(test::TestSubscriber(broker, availability).waitFor(availability, "offline"));
}

TEST_F(MosquittoPublisherTest, ReconnectsWhenTheBrokerReturnsAndReportsEachOutageOnce) {
  test::TestBroker broker;
  broker.stop();  // not there when the publisher starts
  const std::string availability = "chgtune/HQ4/availability";
  const std::string state = "chgtune/HQ4/state";
  EventLog events;
  MosquittoPublisher publisher(settingsFor(broker.url()), shortTimeouts());
  publisher.setEventHandler(events.handler());
  publisher.setAvailability(availability);
  publisher.start();
  const std::vector<PublisherEvent> first = events.waitFor(1);
  ASSERT_EQ(first.size(), 1U);
  EXPECT_EQ(first[0].kind, Kind::unreachable);
  EXPECT_EQ(first[0].reason, "Connection refused");
  EXPECT_FALSE(publisher.publish(state, "while away", 1, false));

  broker.start();
  ASSERT_TRUE(publisher.waitConnected(10s));
  {
    test::TestSubscriber subscriber(broker);
    EXPECT_TRUE(subscriber.waitFor(availability, "online"));
  }
  broker.stop();
  const std::vector<PublisherEvent> lost = events.waitFor(3);
  ASSERT_EQ(lost.size(), 3U);
  EXPECT_EQ(lost[2].kind, Kind::lost);
  // "The connection was lost" (or the system's reason, should the broker have reset it).
  ASSERT_FALSE(lost[2].reason.empty());
  EXPECT_NE(lost[2].reason.back(), '.');
  // Dropped, not queued: nothing of it reaches the broker when it is back.
  EXPECT_FALSE(publisher.publish(state, "while away", 1, false));
  EXPECT_FALSE(publisher.connected());

  broker.start();
  ASSERT_EQ(events.waitFor(4).size(), 4U);
  EXPECT_TRUE(publisher.connected());
  EXPECT_EQ(publisher.connections(), 2U);
  test::TestSubscriber subscriber(broker);
  // The broker came back empty: "online" was said again.
  EXPECT_TRUE(subscriber.waitFor(availability, "online"));
  EXPECT_TRUE(publisher.publish(state, "back", 1, false));
  EXPECT_TRUE(subscriber.waitFor(state, "back"));
  for (const test::ReceivedMessage& message : subscriber.messages())
    EXPECT_NE(message.payload, "while away");
  EXPECT_EQ(events.kinds(),
            (std::vector<Kind>{Kind::unreachable, Kind::connected, Kind::lost, Kind::connected}));
}

TEST_F(MosquittoPublisherTest, LoginIsAcceptedOrRefusedWithTheBrokersReason) {
  test::TestBrokerOptions options;
  options.passwords = true;
  test::TestBroker broker(options);
  struct Case {
    std::string name;
    std::string user;
    std::string password;  // written to a password file; empty: none
    bool accepted;
  };
  const Case cases[] = {
      {"right password", test::kTestUser, test::kTestPassword, true},
      {"wrong password", test::kTestUser, "moon panel", false},
      {"unknown user", "someone", test::kTestPassword, false},
      {"no login", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MqttOptions given;
    given.url = broker.url();
    given.user = c.user;
    if (!c.password.empty()) {
      given.passwordFile = broker.file("login");
      std::ofstream(given.passwordFile) << c.password << "\nnot the password\n";
    }
    EventLog events;
    MosquittoPublisher publisher(makeMqttSettings(given), shortTimeouts());
    publisher.setEventHandler(events.handler());
    publisher.start();
    const std::vector<PublisherEvent> reported = events.waitFor(1);
    ASSERT_EQ(reported.size(), 1U);
    if (c.accepted) {
      EXPECT_EQ(reported[0].kind, Kind::connected);
      EXPECT_TRUE(publisher.connected());
    } else {
      EXPECT_EQ(reported[0].kind, Kind::unreachable);
      EXPECT_EQ(reported[0].reason, "the broker refused the login: not authorised");
      EXPECT_FALSE(publisher.connected());
    }
  }
}

TEST_F(MosquittoPublisherTest, TlsConnectsOnlyToABrokerTheCaVouchesFor) {
  if (!mqttTlsAvailable()) GTEST_SKIP() << "this build's libmosquitto has no TLS";
  test::TestBrokerOptions options;
  options.tls = true;
  test::TestBroker broker(options);
  test::TestSubscriber subscriber(broker);
  const std::string foreignCa = test::makeCertificateAuthority(broker.folder(), "foreign");
  struct Case {
    std::string ca;
    bool accepted;
  } cases[] = {{broker.caFile(), true}, {foreignCa, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ca);
    MqttOptions given;
    given.url = broker.tlsUrl();
    given.caFile = c.ca;
    EventLog events;
    MosquittoPublisher publisher(makeMqttSettings(given), shortTimeouts());
    publisher.setEventHandler(events.handler());
    publisher.start();
    const std::vector<PublisherEvent> reported = events.waitFor(1);
    ASSERT_EQ(reported.size(), 1U);
    if (c.accepted) {
      EXPECT_EQ(reported[0].kind, Kind::connected);
      EXPECT_TRUE(publisher.publish("chgtune/HQ5/state", "over TLS", 1, false));
      EXPECT_TRUE(subscriber.waitFor("chgtune/HQ5/state", "over TLS"));
    } else {
      EXPECT_EQ(reported[0].kind, Kind::unreachable);
      EXPECT_EQ(reported[0].reason, "certificate verify failed");
    }
  }
}

}  // namespace
}  // namespace sunlink
