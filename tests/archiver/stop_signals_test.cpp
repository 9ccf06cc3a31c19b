// The archiver and the stop signals: however they come, it ends either with
// status 0 and the whole archive or by the signal with nothing left, and a
// signal it was started with ignored stays ignored.
#include <signal.h>
#include <string.h>
#include <sys/wait.h>

#include <filesystem>

#include "tests/archiver/ArchiverTestSupport.h"
#include "tests/support/ProcessGroup.h"

namespace archivertest {
namespace {

class StopSignalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int part = 0; part < 4; ++part)
      testsupport::writeFile(bundle_ + "/Contents/Resources/DWARF/part" + std::to_string(part),
                             dwarfLikeBytes(5 << 20, part + 1));
    testsupport::makeDirectories(output_);
  }

  // Starts the archiver (through WRAPPER) and waits until its temporary
  // file exists; returns how it ended after SIGNAL was sent to it twice.
  int statusAfterSignalledTwice(int signal, const std::vector<std::string>& wrapper = {}) {
    const pid_t pid = startArchiver(bundle_, zip_, wrapper);
    testsupport::eventually([&] { return !namesIn(output_).empty(); }, 30);
    kill(pid, signal);
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }

  testsupport::TempDir dir_;
  std::string bundle_ = dir_ / "App.app.dSYM";
  std::string output_ = dir_ / "out";
  std::string zip_ = output_ + "/App.zip";
};

// As when Ctrl-C reaches the archiver both from the terminal and through
// `run`: the second signal comes while the first one is being handled.
TEST_F(StopSignalsTest, SameSignalTwiceLeavesTheWholeArchiveOrNothing) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    int stopped = 0;
    for (int round = 0; round < 200; ++round) {
      const int status = statusAfterSignalledTwice(signal);
      if (WIFSIGNALED(status)) {
        ++stopped;
        ASSERT_EQ(WTERMSIG(status), signal);
        ASSERT_EQ(namesIn(output_), std::vector<std::string>{}) << signal << ", round " << round;
      } else {
        ASSERT_EQ(status, 0);
        ASSERT_EQ(namesIn(output_), std::vector<std::string>{"App.zip"});
        std::filesystem::remove(zip_);
      }
    }
    EXPECT_GT(stopped, 0) << "signal " << signal << " never came before the end";
  }
}

TEST_F(StopSignalsTest, SignalIgnoredAtTheStartStaysIgnored) {
  for (int signal : {SIGHUP, SIGINT, SIGTERM}) {
    const std::string name = sigabbrev_np(signal);
    const int status =
        statusAfterSignalledTwice(signal, {"/usr/bin/env", "--ignore-signal=" + name});
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(listEntries(zip_).size(), 8u) << name;
    auto tested = runTool({"unzip", "-t", "-q", zip_});
    EXPECT_EQ(tested.status, 0) << tested.out;
    std::filesystem::remove(zip_);
  }
}

}  // namespace
}  // namespace archivertest
