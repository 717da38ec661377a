#include "protocol/concurrent_queue.h"

#include <gtest/gtest.h>

#include <thread>

#include "codec/hex_msg.h"

namespace sunlink {
namespace {

using Queue = concurrent_queue<HexMsg>;

TEST(ConcurrentQueueTest, HandsOutCopiesInOrderWithTheirPositions) {
  Queue queue;
  HexMsg first;
  first.append(0x05);
  first.append16(0x4116);
  first.read8();  // the copy in the queue reads from the start; what it holds is handed out as is
  HexMsg second;
  second.append(0x01);
  queue.push(first);
  queue.push(second);
  first.append(0xFF);  // the queue holds its own copy

  HexMsg out;
  ASSERT_TRUE(queue.waitAndPop(out, Queue::Clock::now()));
  EXPECT_EQ(out.bytes(), std::vector<std::uint8_t>({0x05, 0x16, 0x41}));
  EXPECT_EQ(out.readPosition(), 0u);
  ASSERT_TRUE(queue.waitAndPop(out, Queue::Clock::now()));
  EXPECT_EQ(out.bytes(), std::vector<std::uint8_t>({0x01}));
  EXPECT_FALSE(queue.waitAndPop(out, Queue::Clock::now()));
  EXPECT_EQ(out.bytes(), std::vector<std::uint8_t>({0x01}));  // untouched on time-out
}

TEST(ConcurrentQueueTest, PushWakesAWaiterBeforeItsDeadline) {
  Queue queue;
  HexMsg out;
  bool got = false;
  std::thread waiter(
      [&] { got = queue.waitAndPop(out, Queue::Clock::now() + std::chrono::hours(1)); });
  HexMsg msg;
  msg.append(0x07);
  queue.push(msg);
  waiter.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(out.bytes(), std::vector<std::uint8_t>({0x07}));
}

}  // namespace
}  // namespace sunlink
