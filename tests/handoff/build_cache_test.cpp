#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "handoff/BuildCache.h"
#include "platform/Digest.h"
#include "platform/files/DirectoryListing.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ScopedVariable;

namespace {

std::string md5Hex(const std::string& text) {
  auto digest = platform::md5(text.data(), static_cast<std::uint32_t>(text.size()));
  return platform::lowercaseHex(digest.data(), digest.size());
}

}  // namespace

class CacheDirectoryTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  ScopedVariable home{"HOME", dir / "home"};
  ScopedVariable cache{"XDG_CACHE_HOME", dir / "cache"};
};

TEST_F(CacheDirectoryTest, IsTheDigestFolderUnderTheCachesDirectory) {
  std::string root = cacheDirectory("https://api.example.com");
  EXPECT_EQ(root, dir / "cache/com.quorvex.mac/" + md5Hex("https://api.example.com") + "/builds");
  EXPECT_TRUE(fs::is_directory(root));
}

TEST_F(CacheDirectoryTest, TheDigestIsOfTheEndpointTextAsItIs) {
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  std::string plain = cacheDirectory("https://api.example.com");
  std::string slash = cacheDirectory("https://api.example.com/");
  EXPECT_NE(plain, slash);
  EXPECT_EQ(fs::path(plain).parent_path().parent_path(),
            fs::path(slash).parent_path().parent_path());
}

TEST_F(CacheDirectoryTest, TheDigestStopsAtAZeroCharacterOfTheEndpoint) {
  const std::string withZero("https://api.example.com\0/tail", 29);
  EXPECT_EQ(cacheDirectory(withZero),
            dir / "cache/com.quorvex.mac/" + md5Hex("https://api.example.com") + "/builds");
}

TEST_F(CacheDirectoryTest, WithoutXDGCacheHomeTheHomeCacheFolderIsUsed) {
  ScopedVariable noCache("XDG_CACHE_HOME", nullptr);
  EXPECT_EQ(cacheDirectory("e"), dir / "home/.cache/com.quorvex.mac/" + md5Hex("e") + "/builds");
}

TEST_F(CacheDirectoryTest, TwoEndpointsShareTheFirstLevel) {
  std::string first = cacheDirectory("https://one.example.com");
  std::string second = cacheDirectory("https://two.example.com");
  EXPECT_NE(first, second);
  EXPECT_TRUE(fs::is_directory(first));
  EXPECT_TRUE(fs::is_directory(second));
  std::vector<std::string> digests;
  for (const auto& entry : fs::directory_iterator(dir / "cache/com.quorvex.mac"))
    digests.push_back(entry.path().filename());
  std::sort(digests.begin(), digests.end());
  std::vector<std::string> expected = {md5Hex("https://one.example.com"),
                                       md5Hex("https://two.example.com")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(digests, expected);
}

TEST_F(CacheDirectoryTest, AnExistingRootPrintsNothing) {
  cacheDirectory("e");
  testing::internal::CaptureStderr();
  std::string root = cacheDirectory("e");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_directory(root));
}

TEST_F(CacheDirectoryTest, ARootThatCannotBeMadeIsReportedAndStillReturned) {
  testsupport::writeFile(dir / "cache/com.quorvex.mac", "a file in the way");
  testing::internal::CaptureStderr();
  std::string root = cacheDirectory("e");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(root, dir / "cache/com.quorvex.mac/" + md5Hex("e") + "/builds");
  EXPECT_EQ(testsupport::countOf(err, "\n"), 2u) << err;
  EXPECT_NE(err.find("] ERROR: unable to write directory for object store.\n"), std::string::npos);
  EXPECT_NE(err.find("] Error Domain=NSPOSIXErrorDomain Code=20 \""), std::string::npos) << err;
  EXPECT_EQ(err.find("Brantle: "), std::string::npos);
}

class CacheDSYMsTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  std::string products = dir / "products";
  std::string build = dir / "build";

  void SetUp() override {
    testsupport::makeDirectories(products);
    testsupport::makeDirectories(build);
  }

  void makeBundle(const std::string& name) {
    testsupport::writeFile(products + "/" + name + "/Contents/Resources/DWARF/App", name);
    fs::create_directory_symlink("Resources", products + "/" + name + "/Contents/Link");
  }
};

TEST_F(CacheDSYMsTest, CopiesEveryDSYMInListingOrder) {
  makeBundle("App.app.dSYM");
  makeBundle("Widget.appex.dSYM");
  testsupport::writeFile(products + "/Plain.dSYM", "file");
  std::vector<std::string> expected;
  auto names = platform::contentsOfDirectoryAtPath(products);
  ASSERT_TRUE(names);
  for (const auto& name : *names) expected.push_back(build + "/" + name);
  auto copies = cacheDSYMsAtPath(products, build);
  EXPECT_EQ(copies, expected);
  EXPECT_EQ(testsupport::readFile(build + "/App.app.dSYM/Contents/Resources/DWARF/App"),
            "App.app.dSYM");
  EXPECT_EQ(testsupport::readFile(build + "/Plain.dSYM"), "file");
}

TEST_F(CacheDSYMsTest, OnlyTheExactExtensionCounts) {
  makeBundle("App.app.dSYM");
  makeBundle("App.DSYM");
  makeBundle("App.dsym");
  makeBundle("App.dSYM.zip");
  testsupport::makeDirectories(products + "/App.app");
  auto copies = cacheDSYMsAtPath(products, build);
  EXPECT_EQ(copies, std::vector<std::string>{build + "/App.app.dSYM"});
  EXPECT_FALSE(fs::exists(build + "/App.DSYM"));
  EXPECT_FALSE(fs::exists(build + "/App.dsym"));
  EXPECT_FALSE(fs::exists(build + "/App.app"));
}

TEST_F(CacheDSYMsTest, DoesNotLookIntoSubfolders) {
  makeBundle("Nested/Inner.dSYM");
  EXPECT_TRUE(cacheDSYMsAtPath(products, build).empty());
  EXPECT_TRUE(fs::is_empty(build));
}

TEST_F(CacheDSYMsTest, NoDSYMGivesAnEmptyList) {
  testsupport::writeFile(products + "/App.app/App", "x");
  EXPECT_TRUE(cacheDSYMsAtPath(products, build).empty());
}

TEST_F(CacheDSYMsTest, KeepsSymbolicLinksInsideTheBundle) {
  makeBundle("App.app.dSYM");
  cacheDSYMsAtPath(products, build);
  EXPECT_TRUE(fs::is_symlink(build + "/App.app.dSYM/Contents/Link"));
  EXPECT_EQ(fs::read_symlink(build + "/App.app.dSYM/Contents/Link"), "Resources");
}

// A dSYM that is itself a link is cached as the bundle it points to, owner-only.
TEST_F(CacheDSYMsTest, ALinkedDSYMIsCachedAsThePrivateBundleItPointsTo) {
  testsupport::writeFile(dir / "dsyms/App.app.dSYM/Contents/Resources/DWARF/App", "dwarf");
  fs::create_directory_symlink("Resources", dir / "dsyms/App.app.dSYM/Contents/Link");
  fs::create_directory_symlink("../dsyms/App.app.dSYM", products + "/App.app.dSYM");
  EXPECT_EQ(cacheDSYMsAtPath(products, build), std::vector<std::string>{build + "/App.app.dSYM"});
  EXPECT_FALSE(fs::is_symlink(build + "/App.app.dSYM"));
  EXPECT_EQ(testsupport::readFile(build + "/App.app.dSYM/Contents/Resources/DWARF/App"), "dwarf");
  EXPECT_TRUE(fs::is_symlink(build + "/App.app.dSYM/Contents/Link"));
  EXPECT_EQ(fs::status(build + "/App.app.dSYM").permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(build + "/App.app.dSYM/Contents/Resources/DWARF/App").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CacheDSYMsTest, AProductsFolderThatCannotBeListedEndsTheRun) {
  EXPECT_EXIT(cacheDSYMsAtPath(dir / "missing", build), ::testing::ExitedWithCode(1),
              "\\] Unable to get contents of path " + dir / "missing" +
                  " \nError Domain=NSPOSIXErrorDomain Code=2 ");
}

TEST_F(CacheDSYMsTest, ADSYMThatCannotBeCopiedEndsTheRun) {
  makeBundle("App.app.dSYM");
  std::string missing = dir / "no-such-build";
  EXPECT_EXIT(cacheDSYMsAtPath(products, missing), ::testing::ExitedWithCode(1),
              "\\] Unable to copy dSYM at path " + products + "/App.app.dSYM to path " + missing +
                  "/App.app.dSYM Error Domain=NSPOSIXErrorDomain Code=2 ");
}
