#include <gtest/gtest.h>

#include "platform/HTTPTransportIdleWatch.h"

namespace {

using platform::ExchangeProgress;
using platform::IdleWatch;
using std::chrono::seconds;

const IdleWatch::Clock::time_point kStart{};

ExchangeProgress progress(std::uint64_t transferred, std::optional<std::uint64_t> acknowledged,
                          std::optional<std::uint64_t> queued) {
  return ExchangeProgress{transferred, {platform::SocketDelivery{acknowledged, queued}}};
}

TEST(IdleWatch, NothingMovingForTheTimeOutEndsTheExchange) {
  IdleWatch watch(seconds(15), kStart);
  EXPECT_TRUE(watch.stillMoving(progress(100, 100, 0), kStart + seconds(1)));
  EXPECT_TRUE(watch.stillMoving(progress(100, 100, 0), kStart + seconds(15)));
  EXPECT_FALSE(watch.timedOut());
  EXPECT_FALSE(watch.stillMoving(progress(100, 100, 0), kStart + seconds(16)));
  EXPECT_TRUE(watch.timedOut());
}

TEST(IdleWatch, AcknowledgedBytesAloneKeepAnUploadGoing) {
  // The whole body went into the socket at once; the peer takes it slowly.
  IdleWatch watch(seconds(15), kStart);
  std::uint64_t acknowledged = 0;
  for (int second = 1; second <= 60; ++second) {
    acknowledged += 48 * 1024;
    ASSERT_TRUE(watch.stillMoving(progress(1 << 20, acknowledged, (1 << 20) - acknowledged),
                                  kStart + seconds(second)))
        << second;
  }
  EXPECT_FALSE(watch.timedOut());
}

TEST(IdleWatch, ShrinkingSendQueueCountsWhereAcknowledgementsAreNotTold) {
  IdleWatch watch(seconds(15), kStart);
  for (int second = 1; second <= 30; ++second) {
    ASSERT_TRUE(watch.stillMoving(progress(1 << 20, std::nullopt, (1 << 20) - second * 1000),
                                  kStart + seconds(second)));
  }
}

TEST(IdleWatch, PeerThatStopsTakingBytesEndsItAfterTheTimeOut) {
  IdleWatch watch(seconds(15), kStart);
  EXPECT_TRUE(watch.stillMoving(progress(1 << 20, 200000, 848576), kStart + seconds(4)));
  EXPECT_TRUE(watch.stillMoving(progress(1 << 20, 200000, 848576), kStart + seconds(18)));
  EXPECT_FALSE(watch.stillMoving(progress(1 << 20, 200000, 848576), kStart + seconds(19)));
}

TEST(IdleWatch, NewConnectionCountsAsMovement) {
  IdleWatch watch(seconds(15), kStart);
  ExchangeProgress before{0, {}};
  EXPECT_TRUE(watch.stillMoving(before, kStart + seconds(14)));
  EXPECT_TRUE(watch.stillMoving(progress(0, 1, 0), kStart + seconds(20)));
  EXPECT_TRUE(watch.stillMoving(progress(0, 1, 0), kStart + seconds(34)));
  EXPECT_FALSE(watch.stillMoving(progress(0, 1, 0), kStart + seconds(36)));
}

TEST(IdleWatch, NoTimeOutNeverEnds) {
  IdleWatch watch(seconds(0), kStart);
  EXPECT_TRUE(watch.stillMoving(progress(0, 0, 0), kStart + seconds(1000)));
  EXPECT_FALSE(watch.timedOut());
}

}  // namespace
