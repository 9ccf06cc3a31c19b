// The web service's stand-in for the demo and the tests: a real HTTP(S)
// server on 127.0.0.1 that plays the build notification and the dSYM
// upload. It runs until SIGTERM or SIGINT.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include "stand-ins/service/Options.h"
#include "stand-ins/service/StandInService.h"

namespace {

std::unique_ptr<httplib::Server> makeServer(const standin::Options& options) {
  if (options.certificate.empty()) return std::make_unique<httplib::Server>();
  return std::make_unique<httplib::SSLServer>(options.certificate.c_str(), options.key.c_str());
}

// Blocks the stop signals in every thread and stops the server from one
// thread that waits for them.
std::thread stopOnSignal(httplib::Server& server, standin::StandInService& service,
                         const sigset_t& signals) {
  return std::thread([&server, &service, signals] {
    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    server.stop();
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  auto options = standin::parseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::cerr << error << "\n" << standin::usage();
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  auto server = makeServer(*options);
  if (!server->is_valid()) {
    std::cerr << "cannot use the certificate or key\n";
    return 2;
  }
  server->set_read_timeout(60, 0);
  server->set_write_timeout(60, 0);
  standin::StandInService service(*options);
  service.route(*server);
  int port = options->port == 0
                 ? server->bind_to_any_port("127.0.0.1")
                 : (server->bind_to_port("127.0.0.1", options->port) ? options->port : -1);
  if (port <= 0) {
    std::cerr << "cannot listen on 127.0.0.1 port " << options->port << "\n";
    return 1;
  }
  std::printf("port %d\n", port);
  std::fflush(stdout);
  std::thread stopper = stopOnSignal(*server, service, signals);
  bool listened = server->listen_after_bind();
  if (!listened) {
    pthread_kill(stopper.native_handle(), SIGTERM);
  }
  stopper.join();
  return listened ? 0 : 1;
}
