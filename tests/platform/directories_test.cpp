#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/files/DirectoryCreation.h"
#include "platform/files/DirectoryListing.h"
#include "tests/support/PermissionsHeeded.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

class DirectoriesTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

TEST_F(DirectoriesTest, CreatesEveryMissingLevel) {
  EXPECT_FALSE(platform::createDirectoryWithIntermediates(dir / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
}

TEST_F(DirectoriesTest, AnExistingDirectoryIsSuccess) {
  testsupport::makeDirectories(dir / "a");
  EXPECT_FALSE(platform::createDirectoryWithIntermediates(dir / "a"));
  EXPECT_FALSE(platform::createDirectoryWithIntermediates(dir / "a/"));
}

// Made levels are private whatever the umask; an existing one keeps its mode.
TEST_F(DirectoriesTest, MadeLevelsArePrivateWhateverTheUmask) {
  testsupport::makeDirectories(dir / "kept");
  chmod((dir / "kept").c_str(), 0751);
  for (mode_t mask : {022, 0, 0277}) {
    mode_t previous = umask(mask);
    std::string path = dir / "kept/" + std::to_string(mask) + "/b";
    auto error = platform::createDirectoryWithIntermediates(path);
    umask(previous);
    EXPECT_FALSE(error) << mask;
    for (const std::string& level : {path, fs::path(path).parent_path().string()}) {
      struct stat st;
      ASSERT_EQ(stat(level.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0700u) << level;
    }
  }
  struct stat kept;
  ASSERT_EQ(stat((dir / "kept").c_str(), &kept), 0);
  EXPECT_EQ(kept.st_mode & 07777, 0751u);
}

TEST_F(DirectoriesTest, AFileInTheWayIsAnErrorWithADescription) {
  testsupport::writeFile(dir / "file", "x");
  auto error = platform::createDirectoryWithIntermediates(dir / "file/sub");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, ENOTDIR);
  EXPECT_NE(error->description().find("Not a directory"), std::string::npos);
  EXPECT_NE(error->localizedDescription.find(dir / "file"), std::string::npos);
}

TEST_F(DirectoriesTest, AReadOnlyParentIsAnError) {
  testsupport::PermissionsHeeded heeded;
  testsupport::makeDirectories(dir / "locked");
  chmod((dir / "locked").c_str(), 0555);
  auto error = platform::createDirectoryWithIntermediates(dir / "locked/a/b");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EACCES);
}

TEST_F(DirectoriesTest, ListsTheEntriesDirectlyInside) {
  testsupport::writeFile(dir / "one", "");
  testsupport::writeFile(dir / "sub/two", "");
  fs::create_symlink("one", dir / "link");
  auto names = platform::contentsOfDirectoryAtPath(dir.path());
  ASSERT_TRUE(names);
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"link", "one", "sub"}));
}

TEST_F(DirectoriesTest, AnEmptyDirectoryListsNothing) {
  platform::Error error;
  auto names = platform::contentsOfDirectoryAtPath(dir.path(), &error);
  ASSERT_TRUE(names);
  EXPECT_TRUE(names->empty());
}

TEST_F(DirectoriesTest, AMissingDirectoryReportsAnError) {
  platform::Error error;
  EXPECT_FALSE(platform::contentsOfDirectoryAtPath(dir / "missing", &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_NE(error.localizedDescription.find(dir / "missing"), std::string::npos);
}
