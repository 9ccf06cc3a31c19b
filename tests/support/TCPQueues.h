#pragma once

#include <cstdint>
#include <optional>

namespace testsupport {

// The queues of one end of a TCP connection on 127.0.0.1, as the kernel
// lists them in /proc/net/tcp: bytes written and not yet acknowledged by the
// peer (send), and bytes received and not yet read (receive).
struct TCPQueues {
  std::uint64_t send = 0;
  std::uint64_t receive = 0;
};

// The queues of the end whose own port is LOCALPORT and whose peer's port is
// REMOTEPORT; nothing when no such connection is listed.
std::optional<TCPQueues> loopbackTCPQueues(int localPort, int remotePort);

// Whether every byte of a body still unread by its receiver lies in the
// kernel's queues of the connection (the sender's send queue and the
// receiver's receive queue), give or take SLACK bytes buffered in the
// receiver's process: then the sending process has nothing left to hand
// over, and its own byte counts stand still.
bool unreadBodyIsInTheKernel(int receiverPort, int senderPort, std::uint64_t unread,
                             std::uint64_t slack = 0);

}  // namespace testsupport
