#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>

#include "platform/RandomUUID.h"
#include "platform/files/CachesDirectory.h"
#include "tests/support/ScopedVariable.h"

using testsupport::ScopedVariable;

TEST(CachesDirectory, AnAbsoluteXDGCacheHomeComesFirst) {
  ScopedVariable cache("XDG_CACHE_HOME", "/c/cache");
  ScopedVariable home("HOME", "/h/home");
  EXPECT_EQ(platform::userCachesDirectories(), std::vector<std::string>{"/c/cache"});
}

TEST(CachesDirectory, ARelativeXDGCacheHomeIsIgnored) {
  ScopedVariable cache("XDG_CACHE_HOME", "relative/cache");
  ScopedVariable home("HOME", "/h/home");
  EXPECT_EQ(platform::userCachesDirectories(), std::vector<std::string>{"/h/home/.cache"});
}

TEST(CachesDirectory, WithoutXDGCacheHomeTheHomeCacheFolderIsUsed) {
  ScopedVariable cache("XDG_CACHE_HOME", nullptr);
  ScopedVariable home("HOME", "/h/home");
  EXPECT_EQ(platform::userCachesDirectories(), std::vector<std::string>{"/h/home/.cache"});
  EXPECT_EQ(platform::homeDirectory(), "/h/home");
}

TEST(CachesDirectory, WithoutUsableVariablesThereIsNoCachesDirectory) {
  ScopedVariable cache("XDG_CACHE_HOME", "");
  ScopedVariable home("HOME", nullptr);
  EXPECT_TRUE(platform::userCachesDirectories().empty());
  EXPECT_EQ(platform::homeDirectory().front(), '/');
}

TEST(RandomUUID, IsCanonicalUpperCaseText) {
  std::string uuid = platform::newUUIDString();
  EXPECT_TRUE(std::regex_match(
      uuid, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
      << uuid;
  EXPECT_NE(platform::newUUIDString(), uuid);
}
