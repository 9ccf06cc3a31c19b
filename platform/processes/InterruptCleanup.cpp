#include "platform/processes/InterruptCleanup.h"

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/Assert.h"
#include "platform/processes/SignalSafeRemoval.h"

namespace platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// What the handler reads. Each guarded path is a buffer of its own,
// published in a free slot before the guard counts, so the handler never
// touches a std::string that is being changed.
std::atomic<const char*> gPaths[kMostInterruptGuards] = {};
// Guards alive; the handlers are installed while there is one. Changed
// under gGuardsLock only.
int gGuards = 0;
std::mutex gGuardsLock;
std::atomic<pid_t> gChild{-1};
// The thread starting a child (0 when none), so that a cleanup running on
// another thread waits until that child is known and can be stopped.
std::atomic<pid_t> gLaunchingThread{0};
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
  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  const timespec pause{0, kChildPollMilliseconds * 1000000};
  for (pid_t starting = gLaunchingThread.load(); starting != 0 && starting != self;
       starting = gLaunchingThread.load())
    nanosleep(&pause, nullptr);
  stopChild(signalNumber);
  for (auto& slot : gPaths)
    if (const char* path = slot.load()) removeTreeSignalSafe(path);
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

// A cleanup under way ends the process soon: this thread waits for that
// end rather than change what the cleanup reads or start anything new.
void waitIfCleanupRuns() {
  if (gHandling.load() > 0) {
    for (;;) pause();
  }
}

// Publishes a copy of the path in a free slot; returns the slot.
int publishPath(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  for (int i = 0; i < kMostInterruptGuards; ++i) {
    const char* none = nullptr;
    if (gPaths[i].compare_exchange_strong(none, copy)) return i;
  }
  delete[] copy;
  assertionReport("fewer than kMostInterruptGuards guards", "RemovalOnInterrupt", __FILE__,
                  __LINE__);
}

// Takes the published path back and frees it.
void releasePath(int slot) {
  const char* old = gPaths[slot].exchange(nullptr);
  waitIfCleanupRuns();
  delete[] old;
}

}  // namespace

RemovalOnInterrupt::RemovalOnInterrupt(const std::string& path) {
  waitIfCleanupRuns();
  slot_ = publishPath(path);
  std::lock_guard<std::mutex> lock(gGuardsLock);
  if (gGuards++ == 0) installHandlers();
}

RemovalOnInterrupt::~RemovalOnInterrupt() {
  {
    std::lock_guard<std::mutex> lock(gGuardsLock);
    if (--gGuards == 0) restoreHandlers();
  }
  releasePath(slot_);
}

void childLaunchBegins() {
  gLaunchingThread.store(static_cast<pid_t>(syscall(SYS_gettid)));
  gLaunching.store(true);
  // A cleanup that began before this start would not know its child.
  if (gHandling.load() > 0) {
    gLaunching.store(false);
    gLaunchingThread.store(0);
    for (;;) pause();
  }
}

void childLaunchEnded(pid_t child) {
  gChild.store(child);
  gLaunching.store(false);
  gLaunchingThread.store(0);
  if (const int signalNumber = gDeferred.exchange(0)) stopAndEnd(signalNumber);
}

void childWaitedFor() { gChild.store(-1); }

}  // namespace platform
