#include <gtest/gtest.h>

#include <cstdlib>

#include "console/Console.h"
#include "handoff/MacAppHandoff.h"
#include "platform/MainBundle.h"
#include "tests/support/Browser.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kAPIKey = "0123456789abcdef0123456789abcdef01234567";

// The settings of the inline example: every one of the ten, none of the
// two optional ones.
platform::Environment exampleSettings() {
  return {{"BUILT_PRODUCTS_DIR", "/b"},
          {"PRODUCT_NAME", "App"},
          {"WRAPPER_NAME", "App.app"},
          {"DWARF_DSYM_FOLDER_PATH", "/b"},
          {"DWARF_DSYM_FILE_NAME", "App.app.dSYM"},
          {"PLATFORM_NAME", "iphoneos"},
          {"PROJECT_FILE_PATH", "/p/App.xcodeproj"},
          {"INFOPLIST_PATH", "App.app/Info.plist"},
          {"CONFIGURATION", "Release"},
          {"SDKROOT", "/sdk"},
          {"UNRELATED", "not sent"}};
}

std::string exampleURL() {
  return "quorvex://xcode?BUILT_PRODUCTS_DIR=%2Fb&PRODUCT_NAME=App&WRAPPER_NAME=App.app&"
         "DWARF_DSYM_FOLDER_PATH=%2Fb&DWARF_DSYM_FILE_NAME=App.app.dSYM&PLATFORM_NAME=iphoneos&"
         "PROJECT_FILE_PATH=%2Fp%2FApp.xcodeproj&INFOPLIST_PATH=App.app%2FInfo.plist&"
         "CONFIGURATION=Release&SDKROOT=%2Fsdk&QUORVEX_FRAMEWORK_PATH=" +
         urlEncode(platform::mainBundlePath()) + "&QUORVEX_API_KEY=" + kAPIKey +
         "&QUORVEX_RUN_VERSION=149";
}

// Points the test process at private XDG folders; only for the child of a
// death test, since GIO reads the folders once per process.
void usePrivateFolders(const std::map<std::string, std::string>& environment) {
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace

TEST(URLEncode, KeepsUnreservedCharacters) {
  EXPECT_EQ(urlEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(urlEncode(kAPIKey), kAPIKey);
}

TEST(URLEncode, EscapesTheTwentyExtraCharactersAndPercent) {
  EXPECT_EQ(urlEncode("!*'\"();:@&=+$,/?#[] "),
            "%21%2A%27%22%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%23%5B%5D%20");
  EXPECT_EQ(urlEncode("100%"), "100%25");
}

TEST(URLEncode, EscapesUTF8BytesAndControlsInUpperCase) {
  EXPECT_EQ(urlEncode("\xC3\xA9\n"), "%C3%A9%0A");
  EXPECT_EQ(urlEncode(""), "");
}

TEST(MacAppURL, BuildPlistFormCarriesTheEscapedPath) {
  EXPECT_EQ(macAppURLText("/tmp/x y/Build.plist", {}, kAPIKey, false),
            "quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=%2Ftmp%2Fx%20y%2FBuild.plist");
}

TEST(MacAppURL, InlineFormMatchesTheExample) {
  EXPECT_EQ(macAppURLText(std::nullopt, exampleSettings(), kAPIKey, true), exampleURL());
}

TEST(MacAppURL, XcodeVersionGoesUnescapedAndSearchPathsEscaped) {
  auto settings = exampleSettings();
  settings["XCODE_VERSION_ACTUAL"] = "1430";
  settings["FRAMEWORK_SEARCH_PATHS"] = "\"$(SRCROOT)/Frame works\" /b";
  EXPECT_EQ(macAppURLText(std::nullopt, settings, kAPIKey, true),
            exampleURL() +
                "&XCODE_VERSION_ACTUAL=1430&FRAMEWORK_SEARCH_PATHS="
                "%22%24%28SRCROOT%29%2FFrame%20works%22%20%2Fb");
}

TEST(MacAppURL, EmptyOptionalSettingsAreStillSent) {
  auto settings = exampleSettings();
  settings["XCODE_VERSION_ACTUAL"] = "";
  settings["FRAMEWORK_SEARCH_PATHS"] = "";
  EXPECT_EQ(macAppURLText(std::nullopt, settings, kAPIKey, true),
            exampleURL() + "&XCODE_VERSION_ACTUAL=&FRAMEWORK_SEARCH_PATHS=");
}

TEST(MacAppURL, AMissingSettingAmongTheTenGivesAnEmptyValue) {
  auto settings = exampleSettings();
  settings.erase("SDKROOT");
  std::string expected = exampleURL();
  expected.replace(expected.find("SDKROOT=%2Fsdk"), 14, "SDKROOT=");
  EXPECT_EQ(macAppURLText(std::nullopt, settings, kAPIKey, true), expected);
}

// Each case runs sendDataToMacApp in a forked child, so that the folders
// set there are the first GIO sees; this process never asks GIO itself.
class SendDataToMacAppTest : public ::testing::Test {
 protected:
  testsupport::TempDir home;
};

TEST_F(SendDataToMacAppTest, TheRegisteredAppGetsTheURLAndTheCallReturns) {
  testsupport::DesktopApp app(home.path(), "203");
  EXPECT_EXIT(
      {
        usePrivateFolders(app.environment());
        sendDataToMacApp("/tmp/x y/Build.plist", {}, kAPIKey, false);
        std::exit(7);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_EQ(app.recordedURLs(),
            std::vector<std::string>{
                "quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=%2Ftmp%2Fx%20y%2FBuild.plist"});
}

TEST_F(SendDataToMacAppTest, WithoutAnAppTheSignUpMessageEndsTheRun) {
  auto environment = testsupport::privateXDGEnvironment(home.path());
  EXPECT_EXIT(
      {
        usePrivateFolders(environment);
        sendDataToMacApp(std::nullopt, exampleSettings(), kAPIKey, true);
      },
      ::testing::ExitedWithCode(1),
      "\\] \n\nBrantle: This app relies on Brantle. Please sign up for access at "
      "https://quorvex.com/sign_up,\ninstall Brantle.app then ask a team member to invite you "
      "to this app's organization.\n\nIf this machine is a build server please remove "
      "Brantle.app if present and use xcodebuild so that App.app.dSYM is uploaded.\n\n$");
}

TEST_F(SendDataToMacAppTest, WithoutAnAppTheSignUpPageOpensInTheBrowser) {
  auto environment = testsupport::privateXDGEnvironment(home.path());
  testsupport::Browser browser(environment, home / "browser-urls.txt");
  EXPECT_EXIT(
      {
        usePrivateFolders(environment);
        sendDataToMacApp(std::nullopt, exampleSettings(), kAPIKey, true);
      },
      ::testing::ExitedWithCode(1), "Please sign up for access at https://quorvex.com/sign_up,");
  EXPECT_EQ(browser.recordedURLs(), std::vector<std::string>{"https://quorvex.com/sign_up"});
}

TEST_F(SendDataToMacAppTest, InDebugModeTheSendingLineComesFirst) {
  auto environment = testsupport::privateXDGEnvironment(home.path());
  EXPECT_EXIT(
      {
        usePrivateFolders(environment);
        debugMode = true;
        sendDataToMacApp(std::nullopt, exampleSettings(), kAPIKey, true);
      },
      ::testing::ExitedWithCode(1),
      "\\] \n\nBrantle: Sending data to Brantle.app\n.*\\] \n\nBrantle: This app relies on");
}
