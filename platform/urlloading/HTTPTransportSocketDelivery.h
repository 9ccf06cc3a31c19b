#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace platform {

// What the kernel tells of the bytes of a connected TCP socket: how many of
// those written the peer has acknowledged, how many still wait in the send
// queue (not yet sent, or sent and not yet acknowledged), and how many have
// arrived from the peer. Each is nothing when the kernel does not tell it,
// for instance for a descriptor that is no TCP socket.
struct SocketDelivery {
  std::optional<std::uint64_t> bytesAcknowledged;
  std::optional<std::uint64_t> bytesQueued;
  std::optional<std::uint64_t> bytesReceived;

  bool operator==(const SocketDelivery&) const = default;
};

// The delivery of the socket SOCKET now; nothing known for a negative one.
SocketDelivery socketDelivery(int socket);

// What all the sockets of one exchange moved, those opened later and those
// already closed included: each count starts at zero and never falls.
class DeliveryTally {
 public:
  // Adds what socket SOCKET moved since it was last seen, as it shows NOW.
  void see(int socket, const SocketDelivery& now);
  // The socket is closed; what it moved stays counted.
  void forget(int socket) { seen_.erase(socket); }

  // The bytes the peers acknowledged. Where the kernel tells no
  // acknowledgements, the bytes handed over (HANDEDOVER in all) that no
  // longer wait in a send queue.
  std::uint64_t acknowledged(std::uint64_t handedOver);
  // The bytes received from the peers.
  std::uint64_t received() const { return received_; }
  // Whether a socket still holds bytes its peer has not acknowledged.
  bool holdsUnacknowledged() const;

 private:
  std::map<int, SocketDelivery> seen_;
  std::uint64_t acknowledged_ = 0, received_ = 0, leftQueues_ = 0;
  bool toldAcknowledgements_ = false;
};

}  // namespace platform
