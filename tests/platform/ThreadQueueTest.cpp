#include "platform/ThreadQueue.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "platform/PlainEventTarget.h"

namespace pelmar {
namespace {

TEST(ThreadQueue, PeekFindsTheFirstOfAKindWithOrWithoutRemovingIt) {
  TThreadQueue q;
  q.Post({1, 10, {}});
  q.Post({2, 20, {"a"}});
  q.Post({2, 21, {"b"}});
  ASSERT_TRUE(q.Peek(2, false));
  EXPECT_EQ(q.Peek(2, false)->WParam, 20u) << "peeking without removal keeps the message";
  EXPECT_EQ(q.Peek(2, true)->Args, std::vector<std::string>{"a"});
  EXPECT_EQ(q.Peek(2, true)->WParam, 21u);
  EXPECT_FALSE(q.Peek(2, true));
  EXPECT_EQ(q.Get().WParam, 10u);
}

TEST(ThreadQueue, PostingMakesTheWakeDescriptorReadableUntilDrained) {
  TThreadQueue q;
  ASSERT_TRUE(q.Valid());
  pollfd fd{q.WakeDescriptor(), POLLIN, 0};
  EXPECT_EQ(::poll(&fd, 1, 0), 0);
  q.Post({1, 0, {}});
  EXPECT_EQ(::poll(&fd, 1, 0), 1);
  q.DrainWake();
  EXPECT_EQ(::poll(&fd, 1, 0), 0);
}

TEST(ThreadQueue, GetWaitsForAPostFromAnotherThreadAndClosedQueuesRefusePosts) {
  TThreadQueue q;
  std::thread poster([&] { q.Post({7, 0, {}}); });
  EXPECT_EQ(q.Get().Message, 7u);
  poster.join();
  q.Close();
  EXPECT_FALSE(q.Post({7, 0, {}}));
}

TEST(PlainEventTarget, TasksFromOtherThreadsRunOnTheOwnerInPostingOrder) {
  TPlainEventTarget target;
  std::vector<int> seen;
  std::vector<std::thread::id> threads;
  std::thread poster([&] {
    for (int i = 0; i < 500; ++i) {
      target.Post([&seen, &threads, i] {
        seen.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  });
  ASSERT_TRUE(target.RunUntil([&] { return seen.size() == 500; }, std::chrono::seconds(10)));
  poster.join();
  for (int i = 0; i < 500; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i);
  for (auto id : threads) ASSERT_EQ(id, std::this_thread::get_id());
}

TEST(PlainEventTarget, TimersRepeatUntilKilledAndMayKillThemselves) {
  TPlainEventTarget target;
  int ticks = 0;
  int id = 0;
  id = target.StartTimer(1, [&] {
    if (++ticks == 3) target.KillTimer(id);
  });
  EXPECT_TRUE(target.RunUntil([&] { return ticks == 3; }, std::chrono::seconds(10)));
  EXPECT_FALSE(target.HasTimer(id));
}

}  // namespace
}  // namespace pelmar
