#include "archiver/StopSignals.h"

#include <pthread.h>
#include <unistd.h>

namespace archiver {

namespace {

sigset_t stopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

void handleStopSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = stopSignalSet();
  for (int signal : kStopSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

// Only async-signal-safe calls: it runs inside the handler.
void endByStopSignal(int signal) {
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  sigaction(signal, &defaults, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the default action ends the process
}

StopSignalsHeld::StopSignalsHeld() {
  const sigset_t set = stopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

StopSignalsHeld::~StopSignalsHeld() {
  if (!kept_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace archiver
