#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// What the kernel tells of the bytes written to a connected TCP socket: how
// many of them the peer has acknowledged, and how many still wait in the
// send queue (not yet sent, or sent and not yet acknowledged). Either is
// nothing when the kernel does not tell it, for instance for a descriptor
// that is no TCP socket.
struct SocketDelivery {
  std::optional<std::uint64_t> bytesAcknowledged;
  std::optional<std::uint64_t> bytesQueued;

  bool operator==(const SocketDelivery&) const = default;
};

// The delivery of the socket SOCKET now; nothing known for a negative one.
SocketDelivery socketDelivery(int socket);

}  // namespace platform
