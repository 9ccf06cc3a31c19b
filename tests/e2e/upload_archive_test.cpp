// The zip of a build-server upload end to end: what the service receives
// holds the dSYM bundle's tree exactly, whatever the bundle holds and
// whatever the build's environment says, and no run, failed or stopped,
// leaves an archive beside the bundle.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <thread>

#include "tests/support/BuildServerRun.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::countOf;
using testsupport::kNamespacesUnavailable;
using testsupport::ProcessResult;
using testsupport::ServiceProcess;
using testsupport::Settings;

namespace {

const std::string kUploadedPrefix = "\n\nBrantle: App.app.dSYM uploaded statusCode ";
const std::string kCompressionFailed =
    "\n\nBrantle: Compression of App.app.dSYM failed, unable to upload.\n\n\n";

std::string builtArchiver() { return testsupport::binaryRoot() + "/Brantle.framework/archiver"; }

std::string zipTreeScript() { return testsupport::sourceRoot() + "/tests/support/zip_tree.py"; }

// The sorted entry lines of a zip archive, read by Python's zipfile, which
// also checks every member's CRC-32.
std::string zipListing(const std::string& zip) {
  auto listed = testsupport::runProcess({"/usr/bin/python3", zipTreeScript(), "zip", zip}, {});
  EXPECT_EQ(listed.status, 0) << listed.err;
  return listed.out;
}

// The lines an archive of FOLDER with top entry NAME must hold.
std::string treeListing(const std::string& folder, const std::string& name) {
  auto listed =
      testsupport::runProcess({"/usr/bin/python3", zipTreeScript(), "tree", folder, name}, {});
  EXPECT_EQ(listed.status, 0) << listed.err;
  return listed.out;
}

// Whether some process runs the program at PATH (its first argument).
std::optional<pid_t> processRunning(const std::string& path) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    std::string first;
    std::getline(cmdline, first, '\0');
    if (first == path) return static_cast<pid_t>(std::stol(name));
  }
  return std::nullopt;
}

// Waits up to 30 s for the condition; whether it came true.
bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Incompressible bytes, quickly made.
void writeRandomFile(const std::string& path, size_t size) {
  std::mt19937_64 random(42);
  std::string bytes(size, '\0');
  for (size_t at = 0; at + 8 <= size; at += 8) {
    const std::uint64_t word = random();
    std::memcpy(bytes.data() + at, &word, 8);
  }
  testsupport::writeFile(path, bytes);
}

}  // namespace

class UploadArchiveTest : public testsupport::BuildServerRunTest {
 protected:
  // A copy of the tool in a framework folder of the test's own, with
  // ARCHIVER (a shell script's text) beside it as its archiver; none when
  // ARCHIVER is empty. Returns the copied tool's path.
  std::string frameworkWithArchiverScript(const std::string& archiver) {
    const std::string framework = root / "fw/Brantle.framework";
    testsupport::makeDirectories(framework);
    fs::copy_file(testsupport::runExecutable(), framework + "/run");
    if (!archiver.empty()) {
      testsupport::writeFile(framework + "/archiver", archiver);
      fs::permissions(framework + "/archiver", fs::perms::owner_all);
    }
    return framework + "/run";
  }

  // The same with a copy of the built archiver.
  std::string frameworkWithBuiltArchiver() {
    const std::string run = frameworkWithArchiverScript("");
    fs::copy_file(builtArchiver(), root / "fw/Brantle.framework/archiver");
    return run;
  }

  // Runs the tool and expects one upload whose zip holds exactly the tree
  // of the dSYM path (followed when it is a link).
  void expectUploadOfTheBundleTree(const Settings& settings) {
    ServiceProcess service;
    Settings withService = settings;
    withService["QUORVEX_API_BASE_URL"] = withService["QUORVEX_CODE_MAPPING_BASE_URL"] =
        service.baseURL();
    auto result = runUnderBotsDaemon(withService);
    ASSERT_EQ(result.status, 0) << result.err;
    auto uploads = service.records("upload");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0]["problems"].size(), 0u) << uploads[0]["problems"].dump(1);
    EXPECT_EQ(uploads[0]["zip"]["top"], "App.app.dSYM/");
    const std::string expected = treeListing(products + "/App.app.dSYM", "App.app.dSYM");
    EXPECT_NE(expected.find("file App.app.dSYM/Contents/Resources/DWARF/App "), std::string::npos);
    EXPECT_EQ(zipListing(service.dataFile(uploads[0]["zip"]["file"])), expected);
    expectNoZipBesideTheDSYM();
  }

  // Runs the copied tool RUN and expects the compression failure: its
  // message, status 1, no upload and nothing left beside the bundle.
  void expectCompressionFailure(const std::string& run) {
    ServiceProcess service;
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {}, {}, run);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(countOf(result.err, kCompressionFailed), 1u) << result.err;
    EXPECT_EQ(service.records("upload").size(), 0u);
    expectNoZipBesideTheDSYM();
  }

  // Starts the copied tool RUN in the background, waits until READY holds,
  // stops it with SIGTERM, and returns how the run ended.
  ProcessResult terminateWhen(const std::string& run, const Settings& settings,
                              const std::function<bool()>& ready) {
    auto finished =
        std::async(std::launch::async, [&] { return runUnderBotsDaemon(settings, {}, {}, run); });
    const bool wasReady = eventually(ready);
    auto pid = processRunning(run);
    if (pid) kill(*pid, SIGTERM);
    ProcessResult result = finished.get();
    EXPECT_TRUE(wasReady) << result.err;
    EXPECT_TRUE(pid.has_value()) << result.err;
    return result;
  }

  // The entries of the products folder that were not there at the start.
  std::vector<std::string> newEntriesBesideTheBundle() const {
    std::vector<std::string> added;
    for (const auto& entry : fs::directory_iterator(products)) {
      const std::string name = entry.path().filename();
      if (name != "App.app" && name != "App.app.dSYM") added.push_back(name);
    }
    return added;
  }
};

// Links stay links, but a DWARF file that is a link goes as the file it
// points to: the service needs the debug information, not a path.
TEST_F(UploadArchiveTest, ZipOfAFatAppsDSYMHoldsTheBundleTreeWithLinksAsLinks) {
  const std::string dwarf = products + "/App.app.dSYM/Contents/Resources/DWARF";
  fs::create_symlink("DWARF/App", dwarf + "/../App.link");
  fs::create_symlink("../Info.plist", dwarf + "/../Info.link");
  fs::rename(dwarf + "/App", root / "App.cached");
  fs::create_symlink(root / "App.cached", dwarf + "/App");
  fs::create_directory(products + "/App.app.dSYM/Contents/Resources/Empty");
  rememberProductsFolder();
  expectUploadOfTheBundleTree(buildSettings(""));
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(dwarf + "/App").size(), 2u);
  EXPECT_NE(treeListing(products + "/App.app.dSYM", "App.app.dSYM")
                .find("link App.app.dSYM/Contents/Resources/App.link -> DWARF/App"),
            std::string::npos);
}

TEST_F(UploadArchiveTest, ZipOfAThinAppsDSYMHoldsTheBundleTree) {
  fs::remove_all(products + "/App.app.dSYM");
  fs::remove(products + "/App.app/App");
  auto thin = testsupport::buildiOSExecutable(root / "build", "App", "9.0");
  testsupport::buildDSYM(thin, products + "/App.app.dSYM");
  fs::copy_file(thin, products + "/App.app/App");
  rememberProductsFolder();
  expectUploadOfTheBundleTree(buildSettings(""));
}

TEST_F(UploadArchiveTest, DSYMPathThatIsALinkUploadsTheLinkedBundleUnderTheLinksName) {
  fs::create_directories(root / "elsewhere");
  fs::rename(products + "/App.app.dSYM", root / "elsewhere/Real.dSYM");
  fs::create_symlink(root / "elsewhere/Real.dSYM", products + "/App.app.dSYM");
  rememberProductsFolder();
  expectUploadOfTheBundleTree(buildSettings(""));
}

TEST_F(UploadArchiveTest, ZipSettingsInTheBuildEnvironmentChangeNothing) {
  Settings settings = buildSettings("");
  settings["ZIP"] = "-D";
  settings["ZIPOPT"] = "-j";
  expectUploadOfTheBundleTree(settings);
}

TEST_F(UploadArchiveTest, FIFOAndSocketInsideTheBundleAreLeftOut) {
  const std::string resources = products + "/App.app.dSYM/Contents/Resources";
  ASSERT_EQ(mkfifo((resources + "/pipe").c_str(), 0644), 0);
  int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = resources + "/socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  expectUploadOfTheBundleTree(buildSettings(""));
  close(listening);
}

TEST_F(UploadArchiveTest, UploadSucceedsWhereNoSystemZipExists) {
  ServiceProcess service;
  auto result =
      runUnderBotsDaemon(buildSettings(service.baseURL()), {},
                         {testsupport::testProgramsDir() + "/with_zip_replaced", "--missing"});
  if (result.status == kNamespacesUnavailable) GTEST_SKIP() << result.err;
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 1u);
  expectNoZipBesideTheDSYM();
}

TEST_F(UploadArchiveTest, UnreadableFileInsideTheBundleFailsTheCompressionAndLeavesNothing) {
  const std::string secret = products + "/App.app.dSYM/Contents/Resources/secret";
  testsupport::writeFile(secret, "not for the archiver");
  ASSERT_EQ(chmod(secret.c_str(), 0), 0);
  // Root reads every file; without the capabilities that let it ignore
  // permissions, it is refused like anyone else, wherever the build lies.
  std::vector<std::string> heedingPermissions;
  if (geteuid() == 0)
    heedingPermissions = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search"};
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {}, heedingPermissions);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, kCompressionFailed), 1u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

TEST_F(UploadArchiveTest, MissingArchiverStopsTheRunAfterTheNotification) {
  const std::string run = frameworkWithArchiverScript("");
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {}, {}, run);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: ditto tool unavailable at path " + root.path() +
                                    "/fw/Brantle.framework/archiver\n\n\n"),
            1u)
      << result.err;
  EXPECT_EQ(service.records("notification").size(), 1u);
  EXPECT_EQ(service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

TEST_F(UploadArchiveTest, ArchiverThatFailsHalfWayLeavesNoZip) {
  // It writes part of an archive at the zip path, then fails.
  expectCompressionFailure(
      frameworkWithArchiverScript("#!/bin/sh\nprintf 'PK\\003\\004' > \"$5\"\n"
                                  "echo 'archiver: disk full' >&2\nexit 14\n"));
}

TEST_F(UploadArchiveTest, ArchiverThatCannotBeStartedFailsLikeAFailedOne) {
  const std::string run = frameworkWithArchiverScript("plain text\n");
  fs::permissions(root / "fw/Brantle.framework/archiver",
                  fs::perms::owner_read | fs::perms::owner_write);
  expectCompressionFailure(run);
}

TEST_F(UploadArchiveTest, ArchiverThatLeavesNoArchiveStopsTheRunWithFailedToLoadFile) {
  const std::string run = frameworkWithArchiverScript("#!/bin/sh\nexit 0\n");
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {}, {}, run);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Failed to Load File\n\n" + products +
                                    "/App.app.dSYM data could not be loaded\n"),
            1u)
      << result.err;
  EXPECT_EQ(service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

TEST_F(UploadArchiveTest, ZipThatCannotBeDeletedIsReportedAndTheResultFollowsTheStatus) {
  testsupport::writeFile(root / "probe", "x");
  if (testsupport::runProcess({"/usr/bin/chattr", "+i", root / "probe"}, {}).status != 0)
    GTEST_SKIP() << "no immutable files on this file system";
  testsupport::runProcess({"/usr/bin/chattr", "-i", root / "probe"}, {});
  // The stand-in runs the real archiver, then makes its zip immutable.
  const std::string run = frameworkWithArchiverScript(
      "#!/bin/sh\n\"" + builtArchiver() + "\" \"$@\" || exit $?\n/usr/bin/chattr +i \"$5\"\n");
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {}, {}, run);
  auto left = testsupport::zipsIn(products);
  for (const auto& zip : left)
    testsupport::runProcess({"/usr/bin/chattr", "-i", products + "/" + zip}, {});
  EXPECT_EQ(result.status, 0) << result.err;
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Could not delete zipped dSYM at path " + products +
                                    "/" + left[0] + " Error Domain=NSPOSIXErrorDomain Code=1 "),
            1u)
      << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
}

TEST_F(UploadArchiveTest, TerminatedWhileUploadingLeavesNothingBesideTheBundle) {
  const std::string run = frameworkWithBuiltArchiver();
  ServiceProcess service({"--upload-answers", "stall,stall"});
  // Stopped while the service holds the whole upload and answers nothing.
  auto result = terminateWhen(run, buildSettings(service.baseURL()), [&] {
    return service.records("upload").size() == 1 && testsupport::zipsIn(products).size() == 1;
  });
  EXPECT_EQ(result.status, 128 + SIGTERM) << result.err;
  EXPECT_EQ(newEntriesBesideTheBundle(), std::vector<std::string>{});
}

TEST_F(UploadArchiveTest, TerminatedWhileCompressingLeavesNothingBesideTheBundle) {
  writeRandomFile(products + "/App.app.dSYM/Contents/Resources/DWARF/Large", 256u << 20);
  const std::string run = frameworkWithBuiltArchiver();
  const std::string archiver = root / "fw/Brantle.framework/archiver";
  ServiceProcess service;
  auto result = terminateWhen(run, buildSettings(service.baseURL()), [&] {
    return processRunning(archiver).has_value() && !newEntriesBesideTheBundle().empty();
  });
  EXPECT_EQ(result.status, 128 + SIGTERM) << result.err;
  EXPECT_EQ(newEntriesBesideTheBundle(), std::vector<std::string>{});
  EXPECT_FALSE(processRunning(archiver).has_value());
  EXPECT_EQ(service.records("upload").size(), 0u);
}
