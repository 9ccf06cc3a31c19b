#include <gtest/gtest.h>

#include <filesystem>

#include "driver/BuildDescription.h"
#include "platform/MainBundle.h"
#include "platform/propertylists/PropertyList.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

const std::string kAPIKey = "0123456789abcdef0123456789abcdef01234567";

std::vector<std::string> keysOf(const Value& dictionary) {
  std::vector<std::string> keys;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) keys.push_back(it.key());
  return keys;
}

}  // namespace

class BuildDescriptionTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  std::string products = dir / "products";
  std::string build = dir / "build";
  platform::Environment environment;

  void SetUp() override {
    testsupport::makeDirectories(build);
    testsupport::writeFile(products + "/App.app.dSYM/Contents/Resources/DWARF/App", "dwarf");
    writeInfoPlist({{"CFBundleShortVersionString", "2.1"},
                    {"CFBundleVersion", "42"},
                    {"CFBundleDisplayName", "My App"},
                    {"CFBundleName", "App"},
                    {"CFBundleIdentifier", "com.example.App"},
                    {"CFBundleExecutable", "App"}});
    environment = {{"BUILT_PRODUCTS_DIR", products},
                   {"INFOPLIST_PATH", "App.app/Info.plist"},
                   {"PLATFORM_NAME", "iphoneos"},
                   {"PROJECT_FILE_PATH", "/p/App.xcodeproj"},
                   {"CONFIGURATION", "Release"},
                   {"XCODE_VERSION_ACTUAL", "1430"},
                   {"CODE_SIGN_IDENTITY", "iPhone Developer"},
                   {"SDKROOT", "/sdk"},
                   {"PROVISIONING_PROFILE", "ABCD"},
                   {"OTHER", "value"}};
  }

  void writeInfoPlist(const Value& info) {
    testsupport::makeDirectories(products + "/App.app");
    ASSERT_TRUE(platform::writePropertyListAtomically(info, products + "/App.app/Info.plist"));
  }

  Value describe() { return buildDescription(environment, kAPIKey, products, build); }
};

TEST_F(BuildDescriptionTest, HoldsTheSeventeenKeysInOrder) {
  EXPECT_EQ(keysOf(describe()),
            (std::vector<std::string>{
                "PLATFORM_NAME", "PROJECT_FILE_PATH", "CONFIGURATION", "XCODE_VERSION_ACTUAL",
                "CODE_SIGN_IDENTITY", "SDKROOT", "QUORVEX_FRAMEWORK_PATH", "QUORVEX_API_KEY",
                "QUORVEX_RUN_VERSION", "PROVISIONING_PROFILE", "dSYMs",
                "CFBundleShortVersionString", "CFBundleVersion", "CFBundleDisplayName",
                "CFBundleName", "CFBundleIdentifier", "Runner_Environment_Dictionary"}));
}

TEST_F(BuildDescriptionTest, TakesItsValuesFromTheirSources) {
  Value description = describe();
  EXPECT_EQ(description["PLATFORM_NAME"], "iphoneos");
  EXPECT_EQ(description["SDKROOT"], "/sdk");
  EXPECT_EQ(description["QUORVEX_FRAMEWORK_PATH"], platform::mainBundlePath());
  EXPECT_EQ(description["QUORVEX_API_KEY"], kAPIKey);
  EXPECT_EQ(description["QUORVEX_RUN_VERSION"], "149");
  EXPECT_EQ(description["PROVISIONING_PROFILE"], "ABCD");
  EXPECT_EQ(description["dSYMs"], Value::array({build + "/App.app.dSYM"}));
  EXPECT_EQ(description["CFBundleDisplayName"], "My App");
  EXPECT_EQ(description["CFBundleIdentifier"], "com.example.App");
  EXPECT_FALSE(description.contains("CFBundleExecutable"));
}

TEST_F(BuildDescriptionTest, TheEnvironmentDictionaryHoldsEveryVariable) {
  Value expected = Value::object();
  for (const auto& [name, value] : environment) expected[name] = value;
  EXPECT_EQ(describe()["Runner_Environment_Dictionary"], expected);
}

TEST_F(BuildDescriptionTest, AbsentSettingsAreLeftOutAndEmptyOnesKept) {
  environment.erase("PROVISIONING_PROFILE");
  environment["CODE_SIGN_IDENTITY"] = "";
  Value description = describe();
  EXPECT_FALSE(description.contains("PROVISIONING_PROFILE"));
  EXPECT_EQ(description["CODE_SIGN_IDENTITY"], "");
}

TEST_F(BuildDescriptionTest, CopiesTheDSYMsWhileItIsAssembled) {
  describe();
  EXPECT_EQ(testsupport::readFile(build + "/App.app.dSYM/Contents/Resources/DWARF/App"), "dwarf");
}

TEST_F(BuildDescriptionTest, NoDSYMGivesAnEmptyList) {
  fs::remove_all(products + "/App.app.dSYM");
  Value description = describe();
  ASSERT_TRUE(description["dSYMs"].is_array());
  EXPECT_TRUE(description["dSYMs"].empty());
}

TEST_F(BuildDescriptionTest, AnInfoPlistKeyThatIsMissingIsLeftOut) {
  writeInfoPlist({{"CFBundleShortVersionString", "2.1"},
                  {"CFBundleVersion", 42},
                  {"CFBundleName", "App"},
                  {"CFBundleIdentifier", "com.example.App"}});
  Value description = describe();
  EXPECT_FALSE(description.contains("CFBundleDisplayName"));
  EXPECT_EQ(description["CFBundleName"], "App");
  EXPECT_EQ(description["CFBundleVersion"], 42);
}

TEST_F(BuildDescriptionTest, AnUnreadableInfoPlistLeavesItsFiveKeysOut) {
  testsupport::writeFile(products + "/App.app/Info.plist", "not a property list");
  Value description = describe();
  for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion", "CFBundleDisplayName",
                          "CFBundleName", "CFBundleIdentifier"})
    EXPECT_FALSE(description.contains(key)) << key;
  EXPECT_TRUE(description.contains("Runner_Environment_Dictionary"));
}

TEST_F(BuildDescriptionTest, BuildPlistIsWrittenAsXMLAndReadsBack) {
  Value description = describe();
  ASSERT_TRUE(writeBuildPlist(description, build));
  EXPECT_EQ(buildPlistPath(build), build + "/Build.plist");
  std::string text = testsupport::readFile(build + "/Build.plist");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
  EXPECT_NE(text.find("<plist version=\"1.0\">"), std::string::npos);
  EXPECT_EQ(platform::dictionaryWithContentsOfFile(build + "/Build.plist"), description);
}

TEST_F(BuildDescriptionTest, BuildPlistLeavesNoTemporaryFileBehind) {
  ASSERT_TRUE(writeBuildPlist(describe(), build));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(build)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"App.app.dSYM", "Build.plist"}));
}

TEST_F(BuildDescriptionTest, AFailedBuildPlistWriteIsAResult) {
  EXPECT_FALSE(writeBuildPlist(describe(), dir / "missing-folder"));
}

TEST(CopyWhenPresent, CopiesOnlyTheKeysTheSourceHolds) {
  Value description = Value::object();
  copyWhenPresent(description, Value{{"b", "2"}, {"a", ""}, {"c", "3"}}, {"a", "b", "z"});
  EXPECT_EQ(description, (Value{{"a", ""}, {"b", "2"}}));
}

TEST(CopyWhenPresent, AMissingSourceHoldsNoKey) {
  Value description = Value::object();
  copyWhenPresent(description, Value(nullptr), {"a"});
  copyWhenPresent(description, platform::Environment{}, {"a"});
  EXPECT_TRUE(description.empty());
}
