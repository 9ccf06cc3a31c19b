// The removal of a file when the process is interrupted, in forked
// children so that the test process keeps its own signal handlers.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/processes/InterruptCleanup.h"
#include "platform/processes/Task.h"
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

TEST(RemovalOnInterrupt, GuardsAtOnceOnAnyThreadAllGoAndAFolderGoesWhole) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip", folder = dir / "extracted", kept = dir / "kept";
  testsupport::writeFile(zip, "partial");
  testsupport::writeFile(folder + "/App.app.dSYM/Contents/Resources/DWARF/App", "dwarf");
  fs::create_symlink(kept, folder + "/link");
  testsupport::writeFile(kept + "/file", "outside");
  int status = statusOfChild([&] {
    platform::RemovalOnInterrupt removeFolder(folder);
    std::thread([&] {
      platform::RemovalOnInterrupt removeZip(zip);
      { platform::RemovalOnInterrupt ended(kept); }
      raise(SIGTERM);
    }).join();
    _exit(3);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(kept + "/file"));  // an ended guard's, and a link's target
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

TEST(RemovalOnInterrupt, ChildThatIgnoresTheSignalIsKilledAfterAFewSeconds) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip";
  testsupport::writeFile(zip, "partial");
  const auto start = std::chrono::steady_clock::now();
  int status = statusOfChild([&] {
    platform::RemovalOnInterrupt removal(zip);
    platform::Task task;
    task.setLaunchPath("/bin/sh");
    task.setArguments({"-c", "trap '' TERM; exec sleep 30"});
    if (task.launch()) _exit(4);
    std::thread([] {
      usleep(200 * 1000);
      kill(getpid(), SIGTERM);
    }).detach();
    task.waitUntilExit();
    _exit(5);
  });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(fs::exists(zip));
}

TEST(RemovalOnInterrupt, SignalDuringAChildsStartStopsThatChildOnceItIsKnown) {
  testsupport::TempDir dir;
  const std::string zip = dir / "attempt.zip";
  testsupport::writeFile(zip, "partial");
  int started[2];
  ASSERT_EQ(pipe(started), 0);
  int status = statusOfChild([&] {
    close(started[0]);
    platform::RemovalOnInterrupt removal(zip);
    platform::childLaunchBegins();
    // Comes before the new child's id is known, as when it lands while
    // the spawn returns; it must wait for the id rather than end the
    // process and leave the child running.
    raise(SIGTERM);
    // posix_spawn, as the child-process runner uses: the child runs no
    // handler of this process before its exec.
    pid_t child = -1;
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    if (posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ) != 0) _exit(6);
    if (write(started[1], &child, sizeof child) != sizeof child) _exit(4);
    platform::childLaunchEnded(child);
    _exit(5);  // not reached: the deferred signal ends the process
  });
  close(started[1]);
  pid_t grandchild = -1;
  const bool known = read(started[0], &grandchild, sizeof grandchild) == sizeof grandchild;
  close(started[0]);
  ASSERT_TRUE(known) << "the signal ended the process before the child started";
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(fs::exists(zip));
  // The stopped child was waited for by its parent, so it is gone.
  EXPECT_NE(kill(grandchild, 0), 0);
  if (kill(grandchild, 0) == 0) kill(grandchild, SIGKILL);
}
