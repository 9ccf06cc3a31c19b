// The removal of a file when the process is interrupted, in forked
// children so that the test process keeps its own signal handlers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "platform/InterruptCleanup.h"
#include "platform/Task.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Runs BODY in a forked child and returns its raw wait status.
int statusOfChild(const std::function<void()>& body) {
  pid_t child = fork();
  if (child == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

}  // namespace

TEST(RemovalOnInterrupt, TerminationRemovesTheFileAndEndsTheProcessByTheSignal) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip";
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    testsupport::writeFile(zip, "partial");
    int status = statusOfChild([&] {
      platform::RemovalOnInterrupt removal(zip);
      raise(signalNumber);
      _exit(3);  // not reached: the signal ends the process
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << signalNumber;
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    EXPECT_FALSE(fs::exists(zip)) << signalNumber;
  }
}

TEST(RemovalOnInterrupt, EndedGuardLeavesTheFileAndTheDefaultAction) {
  testsupport::TempDir dir;
  const std::string kept = dir / "kept.zip";
  testsupport::writeFile(kept, "whole");
  int status = statusOfChild([&] {
    { platform::RemovalOnInterrupt removal(kept); }
    raise(SIGTERM);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(fs::exists(kept));
}

TEST(RemovalOnInterrupt, IgnoredSignalStaysIgnored) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip";
  testsupport::writeFile(zip, "partial");
  int status = statusOfChild([&] {
    signal(SIGHUP, SIG_IGN);
    platform::RemovalOnInterrupt removal(zip);
    raise(SIGHUP);
    _exit(7);
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_TRUE(fs::exists(zip));
}

TEST(RemovalOnInterrupt, ChildBeingWaitedForIsStoppedBeforeTheRemoval) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip";
  const std::string marker = dir / "written-after";
  testsupport::writeFile(zip, "partial");
  int status = statusOfChild([&] {
    platform::RemovalOnInterrupt removal(zip);
    platform::Task task;
    // The child would write the marker if it outlived the interrupt.
    task.setLaunchPath("/bin/sh");
    task.setArguments({"-c", "sleep 1; echo late > '" + marker + "'"});
    if (task.launch()) _exit(4);
    std::thread([] {
      usleep(200 * 1000);
      kill(getpid(), SIGTERM);
    }).detach();
    task.waitUntilExit();
    _exit(5);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(fs::exists(zip));
  usleep(1500 * 1000);
  EXPECT_FALSE(fs::exists(marker));
}
