#include "stand-ins/service/ConnectionControl.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace standin {

namespace {

int portOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return -1;
}

// Whether the descriptor is the TCP connection between the two ports.
bool connects(int descriptor, int localPort, int remotePort) {
  sockaddr_storage local{}, remote{};
  socklen_t localSize = sizeof local, remoteSize = sizeof remote;
  if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) != 0) return false;
  if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&remote), &remoteSize) != 0) return false;
  return portOf(local) == localPort && portOf(remote) == remotePort;
}

// The server's socket of the request's connection, or -1. The request does
// not carry it, so it is found among this process's descriptors by its ports
// (with TLS, the session names it).
int connectionSocket(const httplib::Request& request) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
  if (request.ssl) return SSL_get_fd(request.ssl);
#endif
  DIR* descriptors = opendir("/proc/self/fd");
  if (!descriptors) return -1;
  int found = -1;
  while (dirent* entry = readdir(descriptors)) {
    int descriptor = std::atoi(entry->d_name);
    if (entry->d_name[0] == '.' || descriptor == dirfd(descriptors)) continue;
    if (connects(descriptor, request.local_port, request.remote_port)) {
      found = descriptor;
      break;
    }
  }
  closedir(descriptors);
  return found;
}

}  // namespace

bool dropConnection(const httplib::Request& request) {
  int descriptor = connectionSocket(request);
  if (descriptor < 0) return false;
  // An abortive close: the client sees the connection reset, not an answer.
  linger abortive{1, 0};
  setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  shutdown(descriptor, SHUT_RDWR);
  return true;
}

void stallConnection(const httplib::Request& request, const std::atomic<bool>& stop) {
  int descriptor = connectionSocket(request);
  if (descriptor < 0) return;
  while (!stop) {
    pollfd watched{descriptor, POLLRDHUP, 0};
    int ready = poll(&watched, 1, 100);
    if (ready > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
  }
  shutdown(descriptor, SHUT_RDWR);
}

}  // namespace standin
