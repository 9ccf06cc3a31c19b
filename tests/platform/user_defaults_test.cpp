#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/UserDefaults.h"
#include "platform/propertylists/PropertyList.h"
#include "tests/support/TestSupport.h"

// Points HOME and XDG_CONFIG_HOME at a private folder for one test.
class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedHome_ = getenv("HOME") ? getenv("HOME") : "";
    savedConfig_ = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("HOME", dir.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  }
  void TearDown() override {
    setenv("HOME", savedHome_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
  }
  void writePreferences(const platform::Value& dict) {
    testsupport::makeDirectories(dir / "config");
    ASSERT_TRUE(platform::writePropertyListAtomically(dict, dir / "config/com.quorvex.run.plist"));
  }

  testsupport::TempDir dir;

 private:
  std::string savedHome_, savedConfig_;
};

TEST_F(UserDefaultsTest, ArgumentDomainAnywhereAfterTheProgramName) {
  const char* argv[] = {"run", "KEY", "SECRET", "-debug", "YES"};
  auto value = platform::userDefault("debug", 5, argv);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, "YES");
  const char* first[] = {"run", "-debug", "1", "KEY"};
  EXPECT_EQ(*platform::userDefault("debug", 4, first), "1");
}

TEST_F(UserDefaultsTest, ArgumentDomainWinsOverThePreferencesFile) {
  writePreferences({{"debug", true}});
  const char* argv[] = {"run", "KEY", "-debug", "NO"};
  EXPECT_EQ(*platform::userDefault("debug", 4, argv), "NO");
}

TEST_F(UserDefaultsTest, PreferencesFileIsReadWhenNoArgumentNamesTheKey) {
  writePreferences({{"debug", true}, {"other", 3}});
  const char* argv[] = {"run", "KEY", "-debug"};  // a flag without value is no entry
  auto value = platform::userDefault("debug", 3, argv);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, true);
}

TEST_F(UserDefaultsTest, FallsBackToHomeConfigWithoutXDGConfigHome) {
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::preferencesFilePath(), dir / ".config/com.quorvex.run.plist");
  setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
  EXPECT_EQ(platform::preferencesFilePath(), dir / ".config/com.quorvex.run.plist");
}

TEST_F(UserDefaultsTest, NothingWhenNeitherHoldsTheKey) {
  const char* argv[] = {"run", "KEY"};
  EXPECT_FALSE(platform::userDefault("debug", 2, argv));
  testsupport::writeFile(dir / "config/com.quorvex.run.plist", "garbage");
  EXPECT_FALSE(platform::userDefault("debug", 2, argv));
}
