#include "tests/support/TCPQueues.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace testsupport {

std::optional<TCPQueues> loopbackTCPQueues(int localPort, int remotePort) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column titles
  while (std::getline(table, line)) {
    unsigned localAddress = 0, local = 0, remoteAddress = 0, remote = 0, state = 0;
    unsigned long long send = 0, receive = 0;
    if (std::sscanf(line.c_str(), " %*u: %8X:%4X %8X:%4X %2X %llX:%llX", &localAddress, &local,
                    &remoteAddress, &remote, &state, &send, &receive) != 7)
      continue;
    // 127.0.0.1 as the kernel prints it, and an established connection.
    const unsigned kLoopback = 0x0100007F, kEstablished = 1;
    if (localAddress == kLoopback && remoteAddress == kLoopback && state == kEstablished &&
        static_cast<int>(local) == localPort && static_cast<int>(remote) == remotePort)
      return TCPQueues{send, receive};
  }
  return std::nullopt;
}

bool unreadBodyIsInTheKernel(int receiverPort, int senderPort, std::uint64_t unread,
                             std::uint64_t slack) {
  std::optional<TCPQueues> receiver = loopbackTCPQueues(receiverPort, senderPort);
  std::optional<TCPQueues> sender = loopbackTCPQueues(senderPort, receiverPort);
  if (!receiver || !sender) return false;
  return unread <= receiver->receive + sender->send + slack;
}

}  // namespace testsupport
