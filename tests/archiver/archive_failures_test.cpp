// How the archiver behaves on odd input and when stopped: clear messages,
// no hang, and never a zip or temporary file left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/archiver/ArchiverTestSupport.h"

namespace archivertest {
namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

class ArchiveFailuresTest : public ::testing::Test {
 protected:
  // The names left in the output folder: only what the test put there.
  std::vector<std::string> leftInOutput() { return namesIn(dir_ / "out"); }

  // Archives the bundle with permissions in force. Root reads every file;
  // without the capabilities that let it ignore permissions, root is
  // refused like anyone else.
  testsupport::ProcessResult archiveHeedingPermissions() const {
    std::vector<std::string> argv = {"/usr/bin/timeout", "60"};
    if (geteuid() == 0)
      argv.insert(argv.end(),
                  {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search"});
    argv.insert(argv.end(), {archiverExecutable(), "-c", "-k", "--keepParent", bundle_, zip_});
    return testsupport::runProcess(argv, {});
  }

  TempDir dir_;
  std::string bundle_ = dir_ / "App.app.dSYM";
  std::string zip_ = dir_ / "out/App.zip";

  void SetUp() override { fs::create_directories(dir_ / "out"); }
};

TEST_F(ArchiveFailuresTest, FifosAndSocketsInsideAreLeftOutWithoutBeingOpened) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  // A FIFO that nobody writes to: opening it for reading would wait forever.
  ASSERT_EQ(mkfifo((bundle_ + "/Contents/pipe").c_str(), 0644), 0);
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string socketPath = bundle_ + "/Contents/socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  auto result = archive(bundle_, zip_);
  close(listener);
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<std::string> names;
  for (const auto& entry : listEntries(zip_)) names.push_back(entry.name);
  std::vector<std::string> expected = {"App.app.dSYM/", "App.app.dSYM/Contents/",
                                       "App.app.dSYM/Contents/Info.plist"};
  EXPECT_EQ(names, expected);
}

TEST_F(ArchiveFailuresTest, UnreadableFileFailsNamingItAndLeavesNothing) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  writeFile(bundle_ + "/Contents/Resources/DWARF/App", dwarfLikeBytes(200000, 1));
  std::string secret = bundle_ + "/Contents/Resources/DWARF/secret";
  writeFile(secret, "no one may read this\n");
  chmod(secret.c_str(), 0);
  auto result = archiveHeedingPermissions();
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find(secret), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("usage"), std::string::npos) << result.err;
  EXPECT_TRUE(leftInOutput().empty());
}

TEST_F(ArchiveFailuresTest, UnreadableFolderFailsNamingIt) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  std::string locked = bundle_ + "/Contents/Locked";
  writeFile(locked + "/inside", "x");
  chmod(locked.c_str(), 0);
  auto result = archiveHeedingPermissions();
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find(locked), std::string::npos) << result.err;
  EXPECT_TRUE(leftInOutput().empty());
}

TEST_F(ArchiveFailuresTest, MissingSourceFailsAndLeavesNothing) {
  auto result = archive(bundle_, zip_);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(bundle_), std::string::npos) << result.err;
  EXPECT_TRUE(leftInOutput().empty());
}

TEST_F(ArchiveFailuresTest, SourceThatIsAFifoFailsWithoutWaitingForAWriter) {
  ASSERT_EQ(mkfifo(bundle_.c_str(), 0644), 0);
  auto result = archive(bundle_, zip_);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find(bundle_), std::string::npos) << result.err;
  EXPECT_TRUE(leftInOutput().empty());
}

TEST_F(ArchiveFailuresTest, ZipInAMissingFolderFailsNamingIt) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  std::string zip = dir_ / "nowhere/App.zip";
  auto result = archive(bundle_, zip);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(zip), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(ArchiveFailuresTest, ExistingZipIsReplacedWhole) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  writeFile(zip_, std::string(100000, 'o'));
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  EXPECT_EQ(listEntries(zip_).size(), 3u);
  EXPECT_EQ(leftInOutput(), std::vector<std::string>{"App.zip"});
}

TEST_F(ArchiveFailuresTest, WrongCommandLinesGetTheUsageAndNoArchive) {
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  std::vector<std::vector<std::string>> wrong = {
      {},
      {"-c", "-k", "--keepParent", bundle_},
      {"-c", "-k", "--keepParent", bundle_, zip_, "extra"},
      {"-k", "-c", "--keepParent", bundle_, zip_},
      {"-c", "-k", "--keepparent", bundle_, zip_},
      {"-x", "-k", "--keepParent", bundle_, zip_},
      {"-c", "-k", "--keepParent", "", zip_},
      {"-c", "-k", "--keepParent", bundle_, ""},
  };
  for (const auto& arguments : wrong) {
    auto result = runArchiver(arguments);
    EXPECT_EQ(result.status, 2) << arguments.size();
    EXPECT_NE(result.err.find("usage: archiver -c -k --keepParent SOURCE ZIPPATH"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(leftInOutput().empty());
  }
}

// The threads of process PID other than its main one that do not hold
// SIGINT, SIGTERM and SIGHUP blocked, and how many other threads it has.
std::pair<int, int> workersTakingStopSignals(pid_t pid) {
  const std::uint64_t stops = (1u << (SIGINT - 1)) | (1u << (SIGTERM - 1)) | (1u << (SIGHUP - 1));
  int taking = 0, workers = 0;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    if (task.path().filename() == std::to_string(pid)) continue;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigBlk:", 0) != 0) continue;
      ++workers;
      if ((std::stoull(line.substr(7), nullptr, 16) & stops) != stops) ++taking;
    }
  }
  return {taking, workers};
}

void expectStopSignalLeavesNothing(int signal, const std::string& bundle, const std::string& zip,
                                   const std::string& output) {
  pid_t pid = startArchiver(bundle, zip);
  ASSERT_GT(pid, 0);
  // Wait until the archive is being written, then stop the archiver.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (namesIn(output).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_FALSE(namesIn(output).empty()) << "the archiver never started writing";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // Only the thread that makes and renames the temporary file may take a
  // stop signal; a worker taking one could end the run past the cleanup.
  const auto [taking, workers] = workersTakingStopSignals(pid);
  EXPECT_GT(workers, 0);
  EXPECT_EQ(taking, 0);
  kill(pid, signal);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the archiver finished before the signal";
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), signal);
  }
  EXPECT_TRUE(namesIn(output).empty());
}

TEST_F(ArchiveFailuresTest, StopSignalsMidRunLeaveNoFile) {
  // A large sparse file keeps the archiver busy for a while.
  writeFile(bundle_ + "/Contents/Info.plist", "plist\n");
  std::string dwarf = bundle_ + "/Contents/Resources/DWARF/App";
  writeFile(dwarf, dwarfLikeBytes(1 << 20, 2));
  ASSERT_EQ(truncate(dwarf.c_str(), off_t{16} << 30), 0);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    expectStopSignalLeavesNothing(signal, bundle_, zip_, dir_ / "out");
  }
}

}  // namespace
}  // namespace archivertest
