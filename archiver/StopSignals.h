#pragma once

#include <signal.h>

namespace archiver {

// The signals that stop the archiver and must not leave its file behind.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds the stop signals back on the calling thread while it lives. Threads
// started meanwhile keep them held for good, so that only the thread that
// creates and renames the temporary file handles them.
class StopSignalsHeld {
 public:
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace archiver
