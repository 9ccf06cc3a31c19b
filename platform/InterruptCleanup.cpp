#include "platform/InterruptCleanup.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// What the handler reads. The path is a buffer of its own, published
// before the guard is armed, so the handler never touches a std::string
// that is being changed.
std::atomic<const char*> gPath{nullptr};
std::atomic<pid_t> gChild{-1};
// Set while a child is being started and its id is not known yet; a signal
// that comes then is left in gDeferred for the starting thread to act on.
std::atomic<bool> gLaunching{false};
std::atomic<int> gDeferred{0};
// Cleanups running now; one that runs never returns, it ends the process.
std::atomic<int> gHandling{0};
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};

// How long the child has to end after the signal before it is killed.
constexpr long kChildGraceMilliseconds = 3000;
constexpr long kChildPollMilliseconds = 5;

long millisecondsSince(const timespec& start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// Whether CHILD has ended and been reaped within the grace time.
bool reapedWithinGrace(pid_t child) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const timespec pause{0, kChildPollMilliseconds * 1000000};
  int status = 0;
  while (millisecondsSince(start) < kChildGraceMilliseconds) {
    const pid_t reaped = waitpid(child, &status, WNOHANG);
    if (reaped == child || (reaped < 0 && errno != EINTR)) return true;
    nanosleep(&pause, nullptr);
  }
  return false;
}

// The child gets the signal, and SIGCONT in case it is stopped, which would
// otherwise keep the signal pending for good; one that has not ended within
// the grace time is killed.
void stopChild(int signalNumber) {
  const pid_t child = gChild.load();
  if (child <= 0) return;
  kill(child, signalNumber);
  kill(child, SIGCONT);
  if (reapedWithinGrace(child)) return;
  kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// Only async-signal-safe calls from here on.
[[noreturn]] void stopAndEnd(int signalNumber) {
  gHandling.fetch_add(1);
  stopChild(signalNumber);
  if (const char* path = gPath.load()) unlink(path);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  sigaction(signalNumber, &defaults, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signalNumber);
  _exit(128 + signalNumber);  // not reached: the default action ends the process
}

// A signal during a child's start cannot stop that child yet: it is left
// for the starting thread unless the start ended meanwhile. Whichever side
// takes the deferred signal back acts on it, so it is never lost or doubled.
void onInterrupt(int signalNumber) {
  if (gLaunching.load()) {
    int none = 0;
    gDeferred.compare_exchange_strong(none, signalNumber);
    if (gLaunching.load()) return;
    if (gDeferred.exchange(0) == 0) return;
  }
  stopAndEnd(signalNumber);
}

void installHandlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current {};
    sigaction(kSignals[i], nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction handler {};
    handler.sa_handler = onInterrupt;
    sigfillset(&handler.sa_mask);  // one cleanup, whichever signal comes first
    gInstalled[i] = sigaction(kSignals[i], &handler, &gPrevious[i]) == 0;
  }
}

void restoreHandlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    if (gInstalled[i]) sigaction(kSignals[i], &gPrevious[i], nullptr);
    gInstalled[i] = false;
  }
}

// Takes the published path back and frees it. A handler that may still
// read it is about to end the process, so this thread waits for that end.
void releasePath() {
  const char* old = gPath.exchange(nullptr);
  if (gHandling.load() > 0) {
    for (;;) pause();
  }
  delete[] old;
}

}  // namespace

RemovalOnInterrupt::RemovalOnInterrupt(const std::string& path) {
  restoreHandlers();
  releasePath();
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  gPath.store(copy);
  installHandlers();
}

RemovalOnInterrupt::~RemovalOnInterrupt() {
  restoreHandlers();
  releasePath();
}

void childLaunchBegins() { gLaunching.store(true); }

void childLaunchEnded(pid_t child) {
  gChild.store(child);
  gLaunching.store(false);
  if (const int signalNumber = gDeferred.exchange(0)) stopAndEnd(signalNumber);
}

void childWaitedFor() { gChild.store(-1); }

}  // namespace platform
