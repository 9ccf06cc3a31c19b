#include "driver/Validation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/TestSupport.h"

using ::testing::ExitedWithCode;

// The routines stop the process on failure, so failures are watched in a
// child process (a death test) and successes called directly.
class ValidationDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment = {{"BUILT_PRODUCTS_DIR", dir / "products"},
                   {"INFOPLIST_PATH", "App.app/Info.plist"},
                   {"DWARF_DSYM_FOLDER_PATH", dir / "products"},
                   {"DWARF_DSYM_FILE_NAME", "App.app.dSYM"},
                   {"WRAPPER_NAME", "App.app"}};
    writeInfoPlist({{"CFBundleIdentifier", "com.example.app"}, {"CFBundleVersion", "7"}});
    testsupport::makeDirectories(dir / "products/App.app.dSYM/Contents");
  }
  void writeInfoPlist(const platform::Value& info) {
    testsupport::makeDirectories(dir / "products/App.app");
    ASSERT_TRUE(platform::writePropertyListAtomically(info, infoPlistPath()));
  }
  std::string infoPlistPath() { return dir / "products/App.app/Info.plist"; }

  testsupport::TempDir dir;
  platform::Environment environment;
};

TEST_F(ValidationDeathTest, CompleteBuildPasses) {
  verifyEnvironmentIsValid(environment);
  verifyInfoPlistValuesAtPath(infoPlistPath());
  SUCCEED();
}

TEST_F(ValidationDeathTest, MissingSettingIsNamed) {
  environment.erase("DWARF_DSYM_FOLDER_PATH");
  EXPECT_EXIT(verifyEnvironmentIsValid(environment), ExitedWithCode(1),
              "Brantle: Failed to Detect Build Environment\n\n"
              "DWARF_DSYM_FOLDER_PATH value not found in environment");
}

TEST_F(ValidationDeathTest, IdentifierThatIsNotATextCountsAsMissing) {
  writeInfoPlist({{"CFBundleIdentifier", 42}});
  EXPECT_EXIT(verifyInfoPlistValuesAtPath(infoPlistPath()), ExitedWithCode(1),
              "Brantle: Required Info.plist Value Not Found\n\n"
              "A CFBundleIdentifier value in your Info.plist is required. Please confirm this "
              "value is present in .*/products/App.app/Info.plist \n\n");
}

TEST_F(ValidationDeathTest, InfoPlistWhoseTopIsNotADictionaryHasNoIdentifier) {
  ASSERT_TRUE(
      platform::writePropertyListAtomically(platform::Value::array({"x"}), infoPlistPath()));
  EXPECT_EXIT(verifyInfoPlistValuesAtPath(infoPlistPath()), ExitedWithCode(1),
              "Required Info.plist Value Not Found");
}

TEST_F(ValidationDeathTest, InfoPlistDictionaryReturnsTheAppsInfoPlist) {
  platform::Value info = infoPlistDictionary(environment);
  EXPECT_EQ(info["CFBundleIdentifier"], "com.example.app");
  EXPECT_EQ(info["CFBundleVersion"], "7");
}

TEST_F(ValidationDeathTest, UnreadableInfoPlistFailsToLoad) {
  testsupport::writeFile(infoPlistPath(), "not a property list");
  EXPECT_EXIT(infoPlistDictionary(environment), ExitedWithCode(1),
              "Brantle: Failed to Load File\n\nCould not load Info.plist contents at path "
              ".*/products/App.app/Info.plist");
}

TEST_F(ValidationDeathTest, InfoPlistDictionaryJoinsWithOneSlashAsWritten) {
  environment["BUILT_PRODUCTS_DIR"] = dir / "products/";
  EXPECT_EQ(infoPlistDictionary(environment)["CFBundleIdentifier"], "com.example.app");
  environment.erase("INFOPLIST_PATH");
  EXPECT_EXIT(infoPlistDictionary(environment), ExitedWithCode(1),
              "Could not load Info.plist contents at path .*/products//\\(null\\)");
}
