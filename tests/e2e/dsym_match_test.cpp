// A dSYM that does not describe the built executable is never delivered: the
// run waits while it may still be being written, goes on as soon as it
// matches, and otherwise stops with "dSYM Error" before anything is sent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "tests/support/BuildServerRun.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::countOf;
using testsupport::ProcessResult;
using testsupport::ServiceProcess;
using testsupport::Settings;

namespace {

const std::string kWaiting = "\n\nBrantle: Waiting up to ";
const std::string kDSYMError = "\n\nBrantle: dSYM Error\n\nApp.app.dSYM at path ";

}  // namespace

class DSYMMatchTest : public testsupport::BuildServerRunTest {
 protected:
  std::string executable = products + "/App.app/App";
  std::string dwarfFile = products + "/App.app.dSYM/Contents/Resources/DWARF/App";

  // Links the app again from other source: both slices, or the arm64 slice
  // alone beside the x86_64 slice of the sample. The dSYM stays as it was.
  void relinkExecutable(bool bothSlices) {
    const std::string work = root / "relinked";
    testsupport::makeDirectories(work);
    const std::string arm64 = testsupport::buildiOSExecutable(work, "Relinked-arm64", "9.0");
    std::string x86_64 = work + "/sample-x86_64";
    if (bothSlices) {
      x86_64 = testsupport::buildiOSSimulatorExecutable(work, "Relinked-x86_64", "9.0");
    } else {
      auto thinned = testsupport::runProcess(
          {"/usr/bin/llvm-lipo-14", "-thin", "x86_64", executable, "-output", x86_64}, {});
      ASSERT_EQ(thinned.status, 0) << thinned.err;
    }
    testsupport::buildFatFile(work + "/App", {arm64, x86_64});
    fs::copy_file(work + "/App", executable, fs::copy_options::overwrite_existing);
  }

  // Expects the stop for the executable's and the dSYM's pairs as they are now.
  void expectDSYMError(const ProcessResult& result) const {
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(countOf(result.err, kDSYMError + products + "/App.app.dSYM"), 1u) << result.err;
    const std::string holds = "The executable holds:\n" + testsupport::summaryOf(executable) +
                              "The dSYM holds:\n" + testsupport::summaryOf(dwarfFile);
    EXPECT_EQ(countOf(result.err, holds), 1u) << result.err;
    EXPECT_EQ(countOf(result.err, "Input Files of the Brantle run script build phase"), 1u);
  }
};

class StaleDSYMTest : public DSYMMatchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StaleDSYMTest, StopsTheRunAfterTheWaitWithNothingSent) {
  relinkExecutable(GetParam());
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  settings["QUORVEX_DSYM_WAIT_SECONDS"] = "1";
  auto result = runUnderBotsDaemon(settings);
  expectDSYMError(result);
  EXPECT_EQ(countOf(result.err, kWaiting + "1 seconds for App.app.dSYM at path "), 1u);
  EXPECT_EQ(service.records("notification").size() + service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

INSTANTIATE_TEST_SUITE_P(Relinked, StaleDSYMTest, ::testing::Values(true, false),
                         [](const auto& row) {
                           return row.param ? "BothSlices" : "OneSliceOfAFatExecutable";
                         });

// An executable path with a space ("My App.app/My App") is a file path like
// any other: the stale dSYM is stopped exactly as without the space.
TEST_F(DSYMMatchTest, StaleDSYMIsStoppedWhenTheExecutablePathHasASpace) {
  relinkExecutable(true);
  fs::create_directory_symlink(products, root / "Build Products");
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  settings["BUILT_PRODUCTS_DIR"] = root / "Build Products";
  settings["QUORVEX_DSYM_WAIT_SECONDS"] = "0";
  auto result = runUnderBotsDaemon(settings);
  expectDSYMError(result);
  EXPECT_EQ(service.records("notification").size() + service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

TEST_F(DSYMMatchTest, StaleDSYMInInteractiveModeMakesNoBuildFolderAndOpensNoURL) {
  relinkExecutable(true);
  testsupport::DesktopApp app(root / "home", "203");
  Settings settings = buildSettings("http://127.0.0.1:1");
  settings["QUORVEX_DSYM_WAIT_SECONDS"] = "0";
  for (const auto& [name, value] : app.environment()) settings[name] = value;
  auto result = testsupport::runProcess(
      {testsupport::runExecutable(), testsupport::kBuildServerKey}, settings, settings["SRCROOT"]);
  expectDSYMError(result);
  EXPECT_EQ(countOf(result.err, kWaiting), 0u);
  EXPECT_FALSE(fs::exists(app.environment()["XDG_CACHE_HOME"] + "/com.quorvex.mac"));
  EXPECT_TRUE(app.recordedURLs(0, std::chrono::seconds(1)).empty());
}

TEST_F(DSYMMatchTest, DSYMPutInPlaceWhileWaitingIsUploaded) {
  relinkExecutable(true);
  const std::string fresh = testsupport::buildDSYM(root / "relinked/App", root / "fresh.dSYM");
  ServiceProcess service;
  auto finished = std::async(std::launch::async,
                             [&] { return runUnderBotsDaemon(buildSettings(service.baseURL())); });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  fs::rename(fresh, dwarfFile);  // the way a toolchain puts a finished file in place
  ProcessResult result = finished.get();
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kWaiting + "30 seconds for App.app.dSYM"), 1u) << result.err;
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), 1u);
  auto zipped =
      testsupport::runProcess({"/usr/bin/unzip", "-p", service.dataFile(uploads[0]["zip"]["file"]),
                               "App.app.dSYM/Contents/Resources/DWARF/App"},
                              {});
  EXPECT_EQ(zipped.out, testsupport::readFile(dwarfFile));  // the fresh one
  expectNoZipBesideTheDSYM();
}

TEST_F(DSYMMatchTest, TerminatedWhileWaitingEndsByTheSignalAtOnce) {
  relinkExecutable(true);
  ServiceProcess service;
  const std::string log = root / "log";
  auto group = startUnderBotsDaemon(buildSettings(service.baseURL()), log);
  const auto waiting = [&] { return countOf(testsupport::readFile(log), kWaiting) == 1; };
  ASSERT_TRUE(testsupport::eventually(waiting, 60)) << testsupport::readFile(log);
  const auto run = group->member(testsupport::runExecutable());
  ASSERT_TRUE(run.has_value());
  std::this_thread::sleep_for(std::chrono::seconds(1));  // well inside the wait
  const auto signalled = std::chrono::steady_clock::now();
  kill(*run, SIGTERM);
  EXPECT_EQ(group->waitForLeader(10), 128 + SIGTERM) << testsupport::readFile(log);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
  EXPECT_EQ(service.records("notification").size() + service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

// A DWARF file that also holds big-endian PowerPC slices, as the dSYMs of
// older libraries do, is complete and holds the executable's pairs: it goes
// out at once, in either mode (the parameter: interactive).
class BigEndianSlicesTest : public DSYMMatchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BigEndianSlicesTest, DSYMWithThemPassesTheCheck) {
  testsupport::writeWithBigEndianSlices(dwarfFile, root / "Mixed");
  fs::copy_file(root / "Mixed", dwarfFile, fs::copy_options::overwrite_existing);
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(dwarfFile).size(), 4u);
  ServiceProcess service;
  testsupport::DesktopApp app(root / "home", "203");
  Settings settings = buildSettings(service.baseURL());
  settings["QUORVEX_DSYM_WAIT_SECONDS"] = "0";
  ProcessResult result;
  if (GetParam()) {
    for (const auto& [name, value] : app.environment()) settings[name] = value;
    result = testsupport::runProcess({testsupport::runExecutable(), testsupport::kBuildServerKey},
                                     settings, settings["SRCROOT"]);
  } else {
    result = runUnderBotsDaemon(settings);
  }
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, "dSYM Error"), 0u) << result.err;
  if (GetParam()) {
    EXPECT_EQ(app.recordedURLs().size(), 1u);
  } else {
    ASSERT_EQ(service.records("upload").size(), 1u);
    EXPECT_EQ(testsupport::uploadedPairs(service.records("upload")[0]), expectedSummary());
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, BigEndianSlicesTest, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "Interactive" : "BuildServer"; });

// An executable without UUIDs, or one that cannot be read, leaves nothing to
// compare: the stale dSYM goes out as before, without waiting, but only when
// its DWARF file is complete.
struct NothingToCompare {
  std::string executable;
  bool truncatedDSYM;
};

class NothingToCompareTest : public DSYMMatchTest,
                             public ::testing::WithParamInterface<NothingToCompare> {};

TEST_P(NothingToCompareTest, UploadsACompleteDSYMWithoutWaiting) {
  if (GetParam().executable == "WithoutUUID") {
    relinkExecutable(true);
    testsupport::writeWithoutUUIDCommand(executable, executable);
    ASSERT_EQ(testsupport::objdumpPrivateHeaders(executable).find("LC_UUID"), std::string::npos);
  } else {
    fs::remove(executable);
    ASSERT_EQ(mkfifo(executable.c_str(), 0644), 0);  // opened, it would wait for a writer
  }
  const bool complete = !GetParam().truncatedDSYM;
  if (!complete) fs::resize_file(dwarfFile, fs::file_size(dwarfFile) - 1);
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  if (!complete) settings["QUORVEX_DSYM_WAIT_SECONDS"] = "0";
  auto result = runUnderBotsDaemon(settings);
  EXPECT_EQ(result.status, complete ? 0 : 1) << result.err;
  EXPECT_EQ(countOf(result.err, kWaiting), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, "/Contents/Resources/DWARF/App is incomplete"), complete ? 0u : 1u);
  EXPECT_EQ(service.records("upload").size(), complete ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Executables, NothingToCompareTest,
                         ::testing::Values(NothingToCompare{"WithoutUUID", false},
                                           NothingToCompare{"FIFO", false},
                                           NothingToCompare{"WithoutUUID", true},
                                           NothingToCompare{"FIFO", true}));
