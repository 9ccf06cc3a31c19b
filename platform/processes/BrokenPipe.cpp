#include "platform/processes/BrokenPipe.h"

#include <signal.h>

namespace platform {

namespace {

void onBrokenPipe(int) {}

}  // namespace

void ignoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = onBrokenPipe;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace platform
