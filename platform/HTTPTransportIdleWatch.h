#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/HTTPTransportSocketDelivery.h"

namespace platform {

// Everything that shows an exchange moving at one moment: the bytes the
// transfer library moved either way, and what the kernel tells of each
// socket the exchange has open, in the order they were opened. A body can go into the kernel's send
// buffer in a moment and leave it over minutes, while the library's own counts stand still, so a
// peer that keeps taking bytes shows in the socket alone.
struct ExchangeProgress {
  std::uint64_t transferredBytes = 0;
  std::vector<SocketDelivery> sockets;

  bool operator==(const ExchangeProgress&) const = default;
};

// Ends an exchange once nothing has moved for a whole time-out: no byte
// transferred, none acknowledged by the peer, the send queue unchanged.
class IdleWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // A watch whose idle time starts at START; a time-out of zero or less
  // never ends anything.
  IdleWatch(std::chrono::duration<double> timeout, Clock::time_point start)
      : timeout_(timeout), lastMove_(start) {}

  // Records the progress seen at NOW; false once it has stayed the same
  // for the whole time-out.
  bool stillMoving(const ExchangeProgress& progress, Clock::time_point now);

  // Whether stillMoving has answered false.
  bool timedOut() const { return timedOut_; }

 private:
  std::chrono::duration<double> timeout_;
  ExchangeProgress last_;
  Clock::time_point lastMove_;
  bool timedOut_ = false;
};

}  // namespace platform
