#pragma once

#include <signal.h>

namespace archiver {

// The signals that stop the archiver and must not leave its file behind.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Makes HANDLER the action of each stop signal that the process does not
// ignore: one it was started with ignored (SIGHUP under nohup) stays
// ignored. While the handler runs every stop signal is held, so a second
// one, of the same kind or another, waits until it has done its work.
void handleStopSignals(void (*handler)(int));

// From a stop-signal handler: ends the process by SIGNAL, with the status
// its default action gives.
[[noreturn]] void endByStopSignal(int signal);

// Holds the stop signals back on the calling thread while it lives. Threads
// started meanwhile keep them held for good, so that only the thread that
// creates and renames the temporary file handles them.
class StopSignalsHeld {
 public:
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

  // Leaves the signals held after the object ends, until the process ends.
  void keepForGood() { kept_ = true; }

 private:
  sigset_t previous_;
  bool kept_ = false;
};

}  // namespace archiver
