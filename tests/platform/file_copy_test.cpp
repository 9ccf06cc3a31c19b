#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files/FileCopy.h"
#include "tests/support/PermissionsHeeded.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

class FileCopyTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;

  // A small bundle: nested folders, a file, an executable and two links.
  std::string makeBundle() {
    std::string bundle = dir / "App.app.dSYM";
    testsupport::writeFile(bundle + "/Contents/Info.plist", "<plist/>");
    testsupport::writeFile(bundle + "/Contents/Resources/DWARF/App", std::string(100000, 'x'));
    chmod((bundle + "/Contents/Resources/DWARF/App").c_str(), 0755);
    fs::create_directory_symlink("Resources", bundle + "/Contents/Current");
    fs::create_symlink("/nonexistent/target", bundle + "/Contents/dangling");
    return bundle;
  }
};

TEST_F(FileCopyTest, CopiesADirectoryTreeWithItsContents) {
  std::string source = makeBundle();
  ASSERT_FALSE(platform::copyItemAtPath(source, dir / "copy.dSYM"));
  EXPECT_EQ(testsupport::readFile(dir / "copy.dSYM/Contents/Info.plist"), "<plist/>");
  EXPECT_EQ(testsupport::readFile(dir / "copy.dSYM/Contents/Resources/DWARF/App"),
            std::string(100000, 'x'));
}

TEST_F(FileCopyTest, KeepsSymbolicLinksAsLinks) {
  std::string source = makeBundle();
  ASSERT_FALSE(platform::copyItemAtPath(source, dir / "copy.dSYM"));
  EXPECT_TRUE(fs::is_symlink(dir / "copy.dSYM/Contents/Current"));
  EXPECT_EQ(fs::read_symlink(dir / "copy.dSYM/Contents/Current"), "Resources");
  EXPECT_TRUE(fs::is_symlink(dir / "copy.dSYM/Contents/dangling"));
  EXPECT_EQ(fs::read_symlink(dir / "copy.dSYM/Contents/dangling"), "/nonexistent/target");
}

TEST_F(FileCopyTest, KeepsPermissionsAndModificationTimes) {
  std::string source = makeBundle();
  std::string executable = source + "/Contents/Resources/DWARF/App";
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
  ASSERT_EQ(utimensat(AT_FDCWD, executable.c_str(), times, 0), 0);
  ASSERT_FALSE(platform::copyItemAtPath(source, dir / "copy.dSYM"));
  struct stat st;
  ASSERT_EQ(stat((dir / "copy.dSYM/Contents/Resources/DWARF/App").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);
}

TEST_F(FileCopyTest, CopiesAReadOnlyDirectory) {
  std::string source = makeBundle();
  chmod((source + "/Contents").c_str(), 0555);
  ASSERT_FALSE(platform::copyItemAtPath(source, dir / "copy.dSYM"));
  struct stat st;
  ASSERT_EQ(stat((dir / "copy.dSYM/Contents").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0555u);
  EXPECT_TRUE(fs::exists(dir / "copy.dSYM/Contents/Info.plist"));
}

TEST_F(FileCopyTest, CopiesAPlainFileAsAFile) {
  testsupport::writeFile(dir / "plain.dSYM", "bytes");
  ASSERT_FALSE(platform::copyItemAtPath(dir / "plain.dSYM", dir / "copy.dSYM"));
  EXPECT_TRUE(fs::is_regular_file(dir / "copy.dSYM"));
  EXPECT_EQ(testsupport::readFile(dir / "copy.dSYM"), "bytes");
}

TEST_F(FileCopyTest, CopiesAnEmptyFile) {
  testsupport::writeFile(dir / "empty", "");
  ASSERT_FALSE(platform::copyItemAtPath(dir / "empty", dir / "copy"));
  EXPECT_EQ(fs::file_size(dir / "copy"), 0u);
}

TEST_F(FileCopyTest, CopiesALinkAtTheTopAsALink) {
  std::string source = makeBundle();
  fs::create_directory_symlink(source, dir / "Link.dSYM");
  ASSERT_FALSE(platform::copyItemAtPath(dir / "Link.dSYM", dir / "copy.dSYM"));
  EXPECT_TRUE(fs::is_symlink(dir / "copy.dSYM"));
}

TEST_F(FileCopyTest, RefusesAnExistingDestination) {
  std::string source = makeBundle();
  testsupport::makeDirectories(dir / "copy.dSYM");
  auto error = platform::copyItemAtPath(source, dir / "copy.dSYM");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EEXIST);
  EXPECT_NE(error->description().find("File exists"), std::string::npos);
}

TEST_F(FileCopyTest, AMissingSourceIsAnErrorNamingIt) {
  auto error = platform::copyItemAtPath(dir / "missing.dSYM", dir / "copy.dSYM");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(error->code, ENOENT);
  EXPECT_NE(error->localizedDescription.find(dir / "missing.dSYM"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "copy.dSYM"));
}

TEST_F(FileCopyTest, AnUnreadableFileInsideStopsTheCopyWithAnError) {
  testsupport::PermissionsHeeded heeded;
  std::string source = makeBundle();
  chmod((source + "/Contents/Info.plist").c_str(), 0);
  auto error = platform::copyItemAtPath(source, dir / "copy.dSYM");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EACCES);
  EXPECT_NE(error->localizedDescription.find("Info.plist"), std::string::npos);
}

TEST_F(FileCopyTest, ADestinationFolderThatCannotBeWrittenIsAnError) {
  testsupport::PermissionsHeeded heeded;
  std::string source = makeBundle();
  testsupport::makeDirectories(dir / "locked");
  chmod((dir / "locked").c_str(), 0555);
  auto error = platform::copyItemAtPath(source, dir / "locked/copy.dSYM");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EACCES);
}
