#include "platform/HTTPTransportSocketDelivery.h"

// glibc's struct tcp_info stops before tcpi_bytes_acked; the kernel's own
// header has it.
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>

namespace platform {

namespace {

std::optional<std::uint64_t> acknowledgedBytes(int socket) {
  tcp_info info{};
  socklen_t length = sizeof(info);
  if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return std::nullopt;
  // Kernels before 4.1 fill a shorter record without the field.
  if (length < offsetof(tcp_info, tcpi_bytes_acked) + sizeof(info.tcpi_bytes_acked))
    return std::nullopt;
  return info.tcpi_bytes_acked;
}

std::optional<std::uint64_t> queuedBytes(int socket) {
  int queued = 0;
  if (ioctl(socket, SIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
  return static_cast<std::uint64_t>(queued);
}

}  // namespace

SocketDelivery socketDelivery(int socket) {
  if (socket < 0) return {};
  return SocketDelivery{acknowledgedBytes(socket), queuedBytes(socket)};
}

}  // namespace platform
