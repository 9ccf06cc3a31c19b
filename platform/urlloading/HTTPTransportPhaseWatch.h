#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>

namespace platform {

// The bounds of the phases of one exchange, all made from the request's
// time-out T (15 seconds for the tool's requests):
// - connecting: at most T (held by the transfer library itself);
// - sending the request: the exchange ends when in any window of T seconds
//   the peer acknowledged fewer than sendMinimum bytes (16 KiB), or less than
//   what remains of the request when that is smaller, or, for a body still
//   being made, less than what was offered to it since the window began.
//   The phase ends when the peer has acknowledged the last byte, so a
//   shorter rest must be acknowledged whole within the window;
// - the answer: from the last byte of the request being acknowledged (or an
//   earlier final head) until the answer is complete, at most 2T in all
//   however bytes trickle in, and never T without a byte received.
// A time-out of zero or less bounds nothing.
struct ExchangeLimits {
  std::chrono::duration<double> sendWindow{0};
  std::uint64_t sendMinimum = 16 * 1024;
  std::chrono::duration<double> answerTotal{0};
  std::chrono::duration<double> answerSilence{0};

  static ExchangeLimits forTimeout(double seconds);
  bool bounded() const { return sendWindow.count() > 0; }
};

// What an exchange shows at one moment: the bytes of the request the peer
// has acknowledged, and the bytes that arrived from it, each counted from
// the start and never falling; and, for a request whose body is still being
// made, the bytes of it handed over so far (the peer cannot acknowledge
// bytes it was never offered).
struct ExchangeSample {
  std::uint64_t acknowledged = 0;
  std::uint64_t received = 0;
  std::uint64_t offered = UINT64_MAX;
};

enum class ExchangePhase { Connecting, Sending, Answering };

// The rule an exchange broke.
enum class ExchangeBreach { None, SendTooSlow, AnswerTooLong, AnswerSilent };

// Follows one exchange through its phases and tells when it breaks the rule
// of the phase it is in.
class PhaseWatch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PhaseWatch(ExchangeLimits limits) : limits_(limits) {}

  // The connection is ready; the request starts to go out.
  void startSending(const ExchangeSample& sample, Clock::time_point now);
  // The request is acknowledged whole, or a final head arrived first. Only
  // the first call counts.
  void startAnswer(const ExchangeSample& sample, Clock::time_point now);
  // Records the sample seen at NOW; the rule broken, if any. Once broken,
  // the answer stays.
  ExchangeBreach check(const ExchangeSample& sample, Clock::time_point now);

  ExchangePhase phase() const { return phase_; }
  ExchangeBreach breach() const { return breach_; }
  const ExchangeLimits& limits() const { return limits_; }

 private:
  ExchangeBreach sendingBreach(const ExchangeSample& sample, Clock::time_point now);
  ExchangeBreach answerBreach(const ExchangeSample& sample, Clock::time_point now);

  ExchangeLimits limits_;
  ExchangePhase phase_ = ExchangePhase::Connecting;
  ExchangeBreach breach_ = ExchangeBreach::None;
  // Acknowledged counts while sending, a few per window, oldest first; the
  // first one is never younger than a window when a window has passed.
  std::deque<std::pair<Clock::time_point, std::uint64_t>> acknowledged_;
  Clock::time_point sendStart_{}, answerStart_{}, lastReceipt_{};
  std::uint64_t received_ = 0;
};

}  // namespace platform
