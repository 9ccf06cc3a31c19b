#include <gtest/gtest.h>

#include <functional>

#include "platform/urlloading/HTTPTransportPhaseWatch.h"
#include "platform/urlloading/HTTPTransportSocketDelivery.h"

namespace {

using platform::ExchangeBreach;
using platform::ExchangeSample;
using platform::PhaseWatch;
using std::chrono::seconds;

const PhaseWatch::Clock::time_point kStart{};

// The second at which a watch with a 15-second time-out, fed once a second
// with the samples SAMPLEAT gives for that second, first answers a breach,
// and the breach; 0 and None when it keeps going for two minutes. The
// answer starts at second ANSWERAT (never when negative).
std::pair<int, ExchangeBreach> firstBreach(std::function<ExchangeSample(int)> sampleAt,
                                           int answerAt = -1) {
  PhaseWatch watch(platform::ExchangeLimits::forTimeout(15));
  watch.startSending(sampleAt(0), kStart);
  for (int second = 1; second <= 120; ++second) {
    if (second == answerAt) watch.startAnswer(sampleAt(second), kStart + seconds(second));
    ExchangeBreach breach = watch.check(sampleAt(second), kStart + seconds(second));
    if (breach != ExchangeBreach::None) return {second, breach};
  }
  return {0, ExchangeBreach::None};
}

TEST(PhaseWatch, SendingEndsOnceAWindowTakesLessThan16KiB) {
  const ExchangeBreach kSlow = ExchangeBreach::SendTooSlow, kNone = ExchangeBreach::None;
  struct Row {
    const char* peer;
    std::function<std::uint64_t(int)> acknowledgedAt;
    std::pair<int, ExchangeBreach> end;
  } rows[] = {
      // The whole body went into the socket at once; the peer takes it slowly.
      {"48 KiB a second", [](int s) { return s * 48 * 1024ull; }, {0, kNone}},
      {"1.2 KiB a second, 18 KiB in 15 s", [](int s) { return s * 1229ull; }, {0, kNone}},
      {"500 bytes a second", [](int s) { return s * 500ull; }, {15, kSlow}},
      {"stops after 4 s", [](int s) { return std::min(s, 4) * 48 * 1024ull; }, {19, kSlow}},
      {"nothing at all", [](int) { return 0ull; }, {15, kSlow}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(firstBreach([&](int s) {
                return ExchangeSample{row.acknowledgedAt(s), 0};
              }),
              row.end)
        << row.peer;
  }
}

TEST(PhaseWatch, AnswerEndsAfter30SecondsInAllOr15WithoutAByte) {
  struct Row {
    const char* peer;
    std::function<std::uint64_t(int)> receivedAt;
    int endsAt;
    ExchangeBreach breach;
  } rows[] = {
      {"a byte every 5 s", [](int s) { return s / 5ull; }, 32, ExchangeBreach::AnswerTooLong},
      {"a byte every second", [](int s) { return 1ull * s; }, 32, ExchangeBreach::AnswerTooLong},
      {"silent after 6 s", [](int s) { return std::min(s, 6) * 1ull; }, 21,
       ExchangeBreach::AnswerSilent},
  };
  for (const Row& row : rows) {
    // The peer took the body at once; the answer starts at second 2.
    auto result = firstBreach([&](int s) { return ExchangeSample{1 << 20, row.receivedAt(s)}; }, 2);
    EXPECT_EQ(result, std::make_pair(row.endsAt, row.breach)) << row.peer;
  }
}

TEST(PhaseWatch, NoTimeOutNeverEnds) {
  PhaseWatch watch(platform::ExchangeLimits::forTimeout(0));
  watch.startSending({}, kStart);
  EXPECT_EQ(watch.check({}, kStart + seconds(1000)), ExchangeBreach::None);
  watch.startAnswer({}, kStart + seconds(1000));
  EXPECT_EQ(watch.check({}, kStart + seconds(5000)), ExchangeBreach::None);
}

TEST(DeliveryTally, CountsEverySocketOpenedAndClosed) {
  platform::DeliveryTally tally;
  tally.see(5, {1000, 0, 10});
  tally.see(5, {3000, 200, 30});
  tally.forget(5);
  tally.see(6, {100, 0, 5});
  EXPECT_EQ(tally.acknowledged(0), 3100u);
  EXPECT_EQ(tally.received(), 35u);
  EXPECT_FALSE(tally.holdsUnacknowledged());
  tally.see(6, {100, 7, 5});
  EXPECT_TRUE(tally.holdsUnacknowledged());
}

TEST(DeliveryTally, WithoutAcknowledgementsWhatLeftTheSendQueueCounts) {
  platform::DeliveryTally tally;
  tally.see(5, {std::nullopt, 1 << 20, std::nullopt});
  EXPECT_EQ(tally.acknowledged(1 << 20), 0u);
  tally.see(5, {std::nullopt, (1 << 20) - 4000, std::nullopt});
  EXPECT_EQ(tally.acknowledged(1 << 20), 4000u);
}

}  // namespace
