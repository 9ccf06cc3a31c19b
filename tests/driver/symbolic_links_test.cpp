#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files/SymbolicLinks.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

class SymbolicLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::makeDirectories(dir / "real/sub");
    fs::create_directory_symlink(dir / "real", dir / "link");
    testsupport::makeDirectories(dir / "chain");
    fs::create_directory_symlink("../real/sub", dir / "chain/deep");  // relative target
    fs::create_directory_symlink(dir / "link", dir / "chain/hop");    // link to a link
  }
  testsupport::TempDir dir;
};

TEST_F(SymbolicLinksTest, LinkIsReplacedByItsTarget) {
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "link"), dir / "real");
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "link/sub"), dir / "real/sub");
}

TEST_F(SymbolicLinksTest, RelativeTargetsAndChainsOfLinks) {
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "chain/deep"), dir / "real/sub");
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "chain/hop/sub"), dir / "real/sub");
}

TEST_F(SymbolicLinksTest, DotAndDotDotComponentsAreRemoved) {
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "real/./sub/.."), dir / "real");
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "./real//sub/"), dir / "real/sub");
}

TEST_F(SymbolicLinksTest, DotDotAfterALinkLeavesTheTarget) {
  // chain/deep is real/sub, so chain/deep/.. is real, not chain.
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "chain/deep/.."), dir / "real");
}

TEST_F(SymbolicLinksTest, MissingComponentsAreKeptAfterTheResolvedPart) {
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "link/missing/./file"),
            dir / "real/missing/file");
}

TEST_F(SymbolicLinksTest, TwoPathsToOneFolderCompareEqual) {
  EXPECT_EQ(platform::resolvingSymlinksInPath(dir / "chain/hop"),
            platform::resolvingSymlinksInPath(dir / "real/sub/.."));
}

TEST_F(SymbolicLinksTest, LinkLoopEnds) {
  fs::create_symlink(dir / "b", dir / "a");
  fs::create_symlink(dir / "a", dir / "b");
  std::string resolved = platform::resolvingSymlinksInPath(dir / "a/x");
  EXPECT_EQ(resolved, dir / "a/x");
}

TEST_F(SymbolicLinksTest, LeadingTildeIsTheHomeFolder) {
  const char* saved = getenv("HOME");
  std::string savedHome = saved ? saved : "";
  setenv("HOME", (dir / "link").c_str(), 1);
  std::string home = platform::resolvingSymlinksInPath("~");
  std::string inside = platform::resolvingSymlinksInPath("~/sub");
  std::string notLeading = platform::resolvingSymlinksInPath("real/~");
  setenv("HOME", savedHome.c_str(), 1);
  EXPECT_EQ(home, dir / "real");
  EXPECT_EQ(inside, dir / "real/sub");
  EXPECT_EQ(notLeading, "real/~");
}

TEST_F(SymbolicLinksTest, RelativePathOnlyLosesDotComponents) {
  EXPECT_EQ(platform::resolvingSymlinksInPath("a/./b/"), "a/b");
  EXPECT_EQ(platform::resolvingSymlinksInPath(""), "");
}

TEST_F(SymbolicLinksTest, CurrentDirectoryIsThePhysicalPath) {
  auto saved = fs::current_path();
  fs::current_path(dir / "link");
  auto current = platform::currentDirectoryPath();
  fs::current_path(saved);
  ASSERT_TRUE(current);
  EXPECT_EQ(*current, dir / "real");
}

TEST_F(SymbolicLinksTest, RemovedWorkingDirectoryGivesNothing) {
  testsupport::makeDirectories(dir / "gone");
  pid_t child = fork();
  if (child == 0) {
    if (chdir((dir / "gone").c_str()) != 0 || rmdir((dir / "gone").c_str()) != 0) _exit(2);
    _exit(platform::currentDirectoryPath() ? 1 : 0);
  }
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
