#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/GlobalQueue.h"
#include "platform/SerialQueue.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using webclienttest::Signal;

TEST(SerialQueue, KeepsItsLabel) {
  platform::SerialQueue queue("com.quorvex.rest-client");
  EXPECT_EQ(queue.label(), "com.quorvex.rest-client");
}

TEST(SerialQueue, RunsWorkInSubmissionOrderOneAtATime) {
  std::vector<int> order;
  std::atomic<int> running{0};
  bool overlapped = false;
  {
    platform::SerialQueue queue("order");
    for (int i = 0; i < 100; ++i) {
      queue.async([&, i] {
        if (++running > 1) overlapped = true;
        order.push_back(i);
        --running;
      });
    }
    queue.sync([] {});
  }
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, SyncWaitsForTheWorkAndRunsItOnTheQueue) {
  platform::SerialQueue queue("sync");
  bool onQueue = false;
  std::thread::id worker;
  queue.sync([&] {
    onQueue = queue.isCurrent();
    worker = std::this_thread::get_id();
  });
  EXPECT_TRUE(onQueue);
  EXPECT_NE(worker, std::this_thread::get_id());
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, EndingLetsQueuedWorkFinish) {
  std::atomic<int> done{0};
  {
    platform::SerialQueue queue("drain");
    for (int i = 0; i < 10; ++i) {
      queue.async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++done;
      });
    }
  }
  EXPECT_EQ(done, 10);
}

TEST(SerialQueue, QueueMayEndInsideItsOwnWork) {
  Signal ended;
  auto* queue = new platform::SerialQueue("self");
  queue->async([queue, &ended] {
    delete queue;
    ended.raise();
  });
  EXPECT_TRUE(ended.wait());
}

TEST(SerialQueue, SyncOntoAnotherQueueFromAQueueWorks) {
  platform::SerialQueue outer("outer"), inner("inner");
  bool innerRan = false;
  outer.sync([&] { inner.sync([&] { innerRan = inner.isCurrent() && !outer.isCurrent(); }); });
  EXPECT_TRUE(innerRan);
}

TEST(SerialQueueDeath, SyncFromItsOwnThreadStopsInsteadOfHanging) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        platform::SerialQueue queue("com.quorvex.rest-client");
        queue.sync([&] { queue.sync([] {}); });
      },
      "Assertion failure in -\\[SerialQueue sync:\\], platform/SerialQueue:[0-9]+: Invalid "
      "parameter not satisfying: !isCurrent\\(\\)");
}

TEST(GlobalQueue, RunsWorkConcurrentlyOnItsWorkers) {
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::atomic<int> finished{0};
  std::atomic<bool> allOnWorkers{true};
  Signal done;
  for (int i = 0; i < 4; ++i) {
    platform::GlobalQueue::defaultQueue().async([&] {
      if (!platform::GlobalQueue::isCurrent()) allOnWorkers = false;
      int now = ++inside;
      for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      --inside;
      if (++finished == 4) done.raise();
    });
  }
  ASSERT_TRUE(done.wait());
  EXPECT_TRUE(allOnWorkers);
  EXPECT_GT(most, 1);
  EXPECT_FALSE(platform::GlobalQueue::isCurrent());
}

TEST(GlobalQueue, WorkWaitingForLaterWorkOfTheQueueIsNotStarved) {
  // Each item waits until every item has started, as completion callbacks do
  // that wait for the completion of a request they start.
  constexpr int kCount = 12;
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  std::atomic<int> sawAll{0};
  Signal done;
  std::atomic<int> finished{0};
  for (int i = 0; i < kCount; ++i) {
    platform::GlobalQueue::defaultQueue().async([&] {
      std::unique_lock lock(mutex);
      ++started;
      changed.notify_all();
      if (changed.wait_for(lock, std::chrono::seconds(30), [&] { return started == kCount; })) {
        ++sawAll;
      }
      lock.unlock();
      if (++finished == kCount) done.raise();
    });
  }
  ASSERT_TRUE(done.wait(std::chrono::seconds(120)));
  EXPECT_EQ(sawAll, kCount);
}

}  // namespace
