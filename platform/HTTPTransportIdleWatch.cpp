#include "platform/HTTPTransportIdleWatch.h"

namespace platform {

bool IdleWatch::stillMoving(const ExchangeProgress& progress, Clock::time_point now) {
  if (progress != last_) {
    last_ = progress;
    lastMove_ = now;
    return true;
  }
  if (timeout_.count() > 0 && now - lastMove_ >= timeout_) timedOut_ = true;
  return !timedOut_;
}

}  // namespace platform
