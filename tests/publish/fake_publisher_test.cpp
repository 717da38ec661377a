// The fake that tests of the watch use keeps the real publisher's promises.
#include "support/fake_publisher.h"

#include <gtest/gtest.h>

namespace sunlink {
namespace {

TEST(FakePublisher, DropsWhileAwaySaysOnlineFirstAndOfflineLast) {
  using Message = test::FakePublisher::Message;
  test::FakePublisher publisher;
  std::vector<PublisherEvent::Kind> events;
  publisher.setEventHandler([&](const PublisherEvent& event) { events.push_back(event.kind); });
  publisher.setAvailability("chgtune/HQ1/availability");
  publisher.start();
  publisher.fail("Connection refused");
  EXPECT_FALSE(publisher.publish("chgtune/HQ1/state", "away", 1, false));
  publisher.connect();
  EXPECT_TRUE(publisher.publish("chgtune/HQ1/state", "{}", 1, false));
  publisher.lose("The connection was lost");
  EXPECT_FALSE(publisher.publish("chgtune/HQ1/state", "away", 1, false));
  publisher.connect();
  publisher.stop();
  EXPECT_EQ(publisher.connections(), 2U);
  EXPECT_EQ(publisher.messages(), (std::vector<Message>{
                                      {"chgtune/HQ1/availability", "online", 1, true},
                                      {"chgtune/HQ1/state", "{}", 1, false},
                                      {"chgtune/HQ1/availability", "online", 1, true},
                                      {"chgtune/HQ1/availability", "offline", 1, true},
                                  }));
  using Kind = PublisherEvent::Kind;
  EXPECT_EQ(events,
            (std::vector<Kind>{Kind::unreachable, Kind::connected, Kind::lost, Kind::connected}));
}

}  // namespace
}  // namespace sunlink
