#include "platform/urlloading/HTTPTransportPhaseWatch.h"

namespace platform {

ExchangeLimits ExchangeLimits::forTimeout(double seconds) {
  ExchangeLimits limits;
  if (seconds <= 0) return limits;
  limits.sendWindow = std::chrono::duration<double>(seconds);
  limits.answerTotal = std::chrono::duration<double>(2 * seconds);
  limits.answerSilence = std::chrono::duration<double>(seconds);
  return limits;
}

void PhaseWatch::startSending(const ExchangeSample& sample, Clock::time_point now) {
  if (phase_ != ExchangePhase::Connecting) return;
  phase_ = ExchangePhase::Sending;
  sendStart_ = now;
  acknowledged_ = {{now, sample.acknowledged}};
}

void PhaseWatch::startAnswer(const ExchangeSample& sample, Clock::time_point now) {
  if (phase_ == ExchangePhase::Answering) return;
  phase_ = ExchangePhase::Answering;
  acknowledged_.clear();
  answerStart_ = lastReceipt_ = now;
  received_ = sample.received;
}

ExchangeBreach PhaseWatch::check(const ExchangeSample& sample, Clock::time_point now) {
  if (breach_ != ExchangeBreach::None || !limits_.bounded()) return breach_;
  if (phase_ == ExchangePhase::Sending) breach_ = sendingBreach(sample, now);
  if (phase_ == ExchangePhase::Answering) breach_ = answerBreach(sample, now);
  return breach_;
}

ExchangeBreach PhaseWatch::sendingBreach(const ExchangeSample& sample, Clock::time_point now) {
  // A sample every sixteenth of a window is enough: the window looked at
  // then starts at most that much earlier than it should.
  if (now - acknowledged_.back().first >= limits_.sendWindow / 16)
    acknowledged_.emplace_back(now, sample.acknowledged);
  const Clock::time_point windowStart =
      now - std::chrono::duration_cast<Clock::duration>(limits_.sendWindow);
  while (acknowledged_.size() > 1 && acknowledged_[1].first <= windowStart)
    acknowledged_.pop_front();
  if (now - sendStart_ < limits_.sendWindow) return ExchangeBreach::None;
  std::uint64_t taken = sample.acknowledged - acknowledged_.front().second;
  return taken < limits_.sendMinimum ? ExchangeBreach::SendTooSlow : ExchangeBreach::None;
}

ExchangeBreach PhaseWatch::answerBreach(const ExchangeSample& sample, Clock::time_point now) {
  if (sample.received != received_) {
    received_ = sample.received;
    lastReceipt_ = now;
  }
  if (now - answerStart_ >= limits_.answerTotal) return ExchangeBreach::AnswerTooLong;
  if (now - lastReceipt_ >= limits_.answerSilence) return ExchangeBreach::AnswerSilent;
  return ExchangeBreach::None;
}

}  // namespace platform
