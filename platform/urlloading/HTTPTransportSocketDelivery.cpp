#include "platform/urlloading/HTTPTransportSocketDelivery.h"

// glibc's struct tcp_info stops before tcpi_bytes_acked; the kernel's own
// header has it.
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>

namespace platform {

namespace {

// The bytes acknowledged by the peer and received from it.
void addTCPCounts(int socket, SocketDelivery& delivery) {
  tcp_info info{};
  socklen_t length = sizeof(info);
  if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return;
  // Kernels before 4.1 fill a shorter record without the fields.
  if (length < offsetof(tcp_info, tcpi_bytes_received) + sizeof(info.tcpi_bytes_received)) return;
  delivery.bytesAcknowledged = info.tcpi_bytes_acked;
  delivery.bytesReceived = info.tcpi_bytes_received;
}

std::optional<std::uint64_t> queuedBytes(int socket) {
  int queued = 0;
  if (ioctl(socket, SIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
  return static_cast<std::uint64_t>(queued);
}

}  // namespace

SocketDelivery socketDelivery(int socket) {
  SocketDelivery delivery;
  if (socket < 0) return delivery;
  addTCPCounts(socket, delivery);
  delivery.bytesQueued = queuedBytes(socket);
  return delivery;
}

namespace {

// What a count grew by since it was last seen.
std::uint64_t growth(const std::optional<std::uint64_t>& now,
                     const std::optional<std::uint64_t>& before) {
  return now && *now > before.value_or(0) ? *now - before.value_or(0) : 0;
}

}  // namespace

void DeliveryTally::see(int socket, const SocketDelivery& now) {
  SocketDelivery& before = seen_[socket];
  acknowledged_ += growth(now.bytesAcknowledged, before.bytesAcknowledged);
  received_ += growth(now.bytesReceived, before.bytesReceived);
  toldAcknowledgements_ = toldAcknowledgements_ || now.bytesAcknowledged.has_value();
  before = now;
}

std::uint64_t DeliveryTally::acknowledged(std::uint64_t handedOver) {
  if (toldAcknowledgements_) return acknowledged_;
  std::uint64_t queued = 0;
  for (const auto& [socket, delivery] : seen_) queued += delivery.bytesQueued.value_or(0);
  leftQueues_ = std::max(leftQueues_, handedOver - std::min(handedOver, queued));
  return leftQueues_;
}

bool DeliveryTally::holdsUnacknowledged() const {
  return std::any_of(seen_.begin(), seen_.end(),
                     [](const auto& entry) { return entry.second.bytesQueued.value_or(0) > 0; });
}

}  // namespace platform
