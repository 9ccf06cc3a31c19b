// A build stopped while `run` zips its dSYM: a stop signal to the whole
// process group, as from a terminal or a CI runner, leaves nothing beside
// the bundle and no process behind; a hangup the build ignores is ignored
// throughout; a stopped archiver does not keep `run` from ending.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

#include "tests/support/BuildServerRun.h"
#include "tests/support/ProcessGroup.h"
#include "tests/support/ServiceProcess.h"

namespace fs = std::filesystem;
using testsupport::ProcessGroup;
using testsupport::ServiceProcess;

class StopSignalsEndToEndTest : public testsupport::BuildServerRunTest {
 protected:
  void SetUp() override {
    BuildServerRunTest::SetUp();
    // Incompressible, so that the archiver is still at work when signalled.
    std::mt19937 random(7);
    std::string bytes(32 << 20, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    testsupport::writeFile(products + "/App.app.dSYM/Contents/Resources/DWARF/Large", bytes);
    rememberProductsFolder();
  }

  // Starts `run` below "xcsbuildd" (through WRAPPER) in a group of its own
  // and returns once the zip is being written beside the bundle.
  std::unique_ptr<ProcessGroup> startedUntilCompressing(
      const ServiceProcess& service, const std::vector<std::string>& wrapper = {}) {
    auto group = startUnderBotsDaemon(buildSettings(service.baseURL()), log_, wrapper);
    EXPECT_TRUE(testsupport::eventually([&] { return zipBesideTheBundle(); }, 60))
        << testsupport::readFile(log_);
    return group;
  }

  bool zipBesideTheBundle() const {
    for (const auto& entry : fs::directory_iterator(products)) {
      const std::string name = entry.path().filename().string();
      if (name != "App.app" && name != "App.app.dSYM") return true;
    }
    return false;
  }

  std::string log_ = root / "log";
};

// Each round costs a whole run, so a few per signal; the archiver's own
// tests repeat the double signal hundreds of times.
TEST_F(StopSignalsEndToEndTest, StopSignalToTheGroupWhileCompressingLeavesNothing) {
  ServiceProcess service;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (int round = 0; round < 10; ++round) {
      auto group = startedUntilCompressing(service);
      kill(-group->id(), signal);
      EXPECT_TRUE(testsupport::eventually([&] { return group->members().empty(); }, 30));
      expectNoZipBesideTheDSYM();
      ASSERT_FALSE(HasFailure()) << "signal " << signal << ", round " << round;
    }
  }
  EXPECT_EQ(service.wholeRecords("upload").size(), 0u);
}

TEST_F(StopSignalsEndToEndTest, HangupUnderNohupWhileCompressingIsIgnoredAndTheUploadGoesOut) {
  ServiceProcess service;
  auto group = startedUntilCompressing(service, {"/usr/bin/nohup"});
  kill(-group->id(), SIGHUP);
  EXPECT_EQ(group->waitForLeader(120), 0) << testsupport::readFile(log_);
  EXPECT_EQ(service.records("upload").size(), 1u);
  expectNoZipBesideTheDSYM();
}

TEST_F(StopSignalsEndToEndTest, RunWithItsArchiverStoppedEndsSoonAfterSIGTERM) {
  ServiceProcess service;
  auto group = startedUntilCompressing(service);
  const auto archiver = group->member(testsupport::binaryRoot() + "/Brantle.framework/archiver");
  const auto run = group->member(testsupport::runExecutable());
  ASSERT_TRUE(archiver && run);
  kill(*archiver, SIGSTOP);
  const auto stopped = [&] {
    for (const auto& member : group->members())
      if (member.pid == *archiver) return member.state == 'T';
    return false;
  };
  ASSERT_TRUE(testsupport::eventually(stopped, 5));
  const auto start = std::chrono::steady_clock::now();
  kill(*run, SIGTERM);
  const auto status = group->waitForLeader(10);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_TRUE(testsupport::eventually([&] { return group->members().empty(); }, 5));
  expectNoZipBesideTheDSYM();
}
