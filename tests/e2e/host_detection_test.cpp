#include <gtest/gtest.h>

#include <optional>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/TestSupport.h"

using testsupport::countOf;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";
const std::string kXcodeLine = "\n\nBrantle: Run script build phase called from Xcode.app ";
const std::string kBotsLine = "\n\nBrantle: Run script build phase called from Xcode Bots ";
const std::string kInstallLine = "\n\nBrantle: Install path ";

std::string namedParent() { return testsupport::testProgramsDir() + "/named_parent"; }

}  // namespace

// Runs the tool on a build that passes every check, under parents that take
// the names the mode decision looks for, with or without the desktop app
// registered in the test's own XDG folders. The service base URLs point at a
// closed local port, so no run leaves the machine whatever mode it takes.
class HostDetectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::makeDirectories(root / "project");
    testsupport::makeDirectories(root / "products/App.app.dSYM");
    testsupport::makeDirectories(root / "products/App.app");
    ASSERT_TRUE(platform::writePropertyListAtomically({{"CFBundleIdentifier", "com.example.app"}},
                                                      root / "products/App.app/Info.plist"));
  }

  std::map<std::string, std::string> buildEnvironment(std::map<std::string, std::string> xdg) {
    xdg["BUILT_PRODUCTS_DIR"] = root / "products";
    xdg["INFOPLIST_PATH"] = "App.app/Info.plist";
    xdg["DWARF_DSYM_FOLDER_PATH"] = root / "products";
    xdg["DWARF_DSYM_FILE_NAME"] = "App.app.dSYM";
    xdg["SRCROOT"] = root / "project";
    xdg["QUORVEX_API_BASE_URL"] = "http://127.0.0.1:1";
    xdg["QUORVEX_CODE_MAPPING_BASE_URL"] = "http://127.0.0.1:1";
    return xdg;
  }

  // Runs `run KEY -debug YES` below one named_parent per name, the first name
  // the farthest ancestor.
  testsupport::ProcessResult runBelow(const std::vector<std::string>& parentNames,
                                      const std::map<std::string, std::string>& xdg,
                                      bool debug = true) {
    std::vector<std::string> arguments;
    for (const auto& name : parentNames) arguments.insert(arguments.end(), {namedParent(), name});
    arguments.insert(arguments.end(), {testsupport::runExecutable(), kKey});
    if (debug) arguments.insert(arguments.end(), {"-debug", "YES"});
    return testsupport::runProcess(arguments, buildEnvironment(xdg), root / "project");
  }
  testsupport::ProcessResult runBelow(const std::vector<std::string>& parentNames) {
    return runBelow(parentNames, testsupport::privateXDGEnvironment(root.path()));
  }

  testsupport::TempDir root;
};

TEST_F(HostDetectionTest, XcodeTwoLevelsUp) {
  auto result = runBelow({"Xcode", "other"});
  EXPECT_EQ(countOf(result.err, kBotsLine + "0\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kXcodeLine + "1\n"), 1u) << result.err;
  EXPECT_LT(result.err.find(kBotsLine), result.err.find(kXcodeLine));
  EXPECT_EQ(countOf(result.err, kInstallLine), 0u);
}

TEST_F(HostDetectionTest, XcodeManyLevelsUp) {
  auto result = runBelow({"Xcode", "a", "b", "c", "d", "e"});
  EXPECT_EQ(countOf(result.err, kXcodeLine + "1\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, BotsDaemonParentDecidesAloneAndFirst) {
  auto result = runBelow({"Xcode", "xcsbuildd"});
  EXPECT_EQ(countOf(result.err, kBotsLine + "1\n"), 1u) << result.err;
  // Under the daemon neither the desktop app nor Xcode is asked about.
  EXPECT_EQ(countOf(result.err, kXcodeLine), 0u);
  EXPECT_EQ(countOf(result.err, kInstallLine), 0u);
}

TEST_F(HostDetectionTest, BotsDaemonWinsOverAnInstalledDesktopApp) {
  testsupport::DesktopApp app(root.path(), "203");
  auto result = runBelow({"xcsbuildd"}, app.environment());
  EXPECT_EQ(countOf(result.err, kBotsLine + "1\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kInstallLine), 0u);
  EXPECT_EQ(countOf(result.err, kXcodeLine), 0u);
}

TEST_F(HostDetectionTest, XcodeBetaIsNotXcode) {
  auto result = runBelow({"Xcode-beta"});
  EXPECT_EQ(countOf(result.err, kBotsLine + "0\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kXcodeLine + "0\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, NamesMustMatchWholeAndInCase) {
  auto result = runBelow({"xcode", "XCODE", "Xcod", "xcsbuildd2", "xcsbuild", "Xcsbuildd"});
  EXPECT_EQ(countOf(result.err, kBotsLine + "0\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kXcodeLine + "0\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, NoNamedParent) {
  auto result = runBelow({});
  EXPECT_EQ(countOf(result.err, kBotsLine + "0\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kXcodeLine + "0\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, ParentNameThatIsNotUTF8DoesNotStopTheWalk) {
  auto result = runBelow({"Xcode", "\xff\xfe\xc3", "other"});
  EXPECT_EQ(countOf(result.err, kXcodeLine + "1\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, ParenthesesAndSpacesInParentNames) {
  auto found = runBelow({"Xcode", "a) (b c) d"});
  EXPECT_EQ(countOf(found.err, kXcodeLine + "1\n"), 1u) << found.err;
  auto notFound = runBelow({"(Xcode)", "Xcode) 1 (x"});
  EXPECT_EQ(countOf(notFound.err, kXcodeLine + "0\n"), 1u) << notFound.err;
}

TEST_F(HostDetectionTest, NoLinesOutsideDebugMode) {
  auto result = runBelow({"Xcode"}, testsupport::privateXDGEnvironment(root.path()), false);
  EXPECT_EQ(countOf(result.err, "Run script build phase called from"), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, "Install path"), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, "Src root"), 0u) << result.err;
}

TEST_F(HostDetectionTest, DebugFromThePreferencesFile) {
  auto xdg = testsupport::privateXDGEnvironment(root.path());
  ASSERT_TRUE(platform::writePropertyListAtomically(
      {{"debug", true}}, xdg["XDG_CONFIG_HOME"] + "/com.quorvex.run.plist"));
  auto result = runBelow({"Xcode"}, xdg, false);
  EXPECT_EQ(countOf(result.err, kXcodeLine + "1\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, NoHandlerMeansTheXcodeTestIsMade) {
  auto result = runBelow({});
  EXPECT_EQ(countOf(result.err, kInstallLine), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, kXcodeLine + "0\n"), 1u) << result.err;
}

TEST_F(HostDetectionTest, InstalledDesktopAppSkipsTheXcodeTest) {
  using Version = std::optional<std::string>;
  for (const Version& version : {Version("202"), Version("203"), Version("203.1"), Version()}) {
    testsupport::TempDir own;
    testsupport::DesktopApp app(own.path(), version);
    auto result = runBelow({"Xcode"}, app.environment());
    EXPECT_EQ(countOf(result.err, kBotsLine + "0\n"), 1u) << result.err;
    EXPECT_EQ(countOf(result.err, kInstallLine + app.applicationURL() + "\n"), 1u)
        << version.value_or("none") << result.err;
    EXPECT_LT(result.err.find(kBotsLine), result.err.find(kInstallLine));
    EXPECT_EQ(countOf(result.err, kXcodeLine), 0u) << result.err;
  }
}

// A desktop app new enough for Build.plist gets its path; an older one, or
// one without a bundle version, gets the settings in the URL itself.
TEST_F(HostDetectionTest, BundleVersionChoosesTheHandOffForm) {
  using Version = std::optional<std::string>;
  const std::string plistForm = "quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=";
  const std::string inlineForm = "quorvex://xcode?BUILT_PRODUCTS_DIR=";
  for (const auto& [version, form] :
       {std::pair{Version("202"), inlineForm}, std::pair{Version("203"), plistForm},
        std::pair{Version("203.1"), plistForm}, std::pair{Version(), inlineForm}}) {
    testsupport::TempDir own;
    testsupport::DesktopApp app(own.path(), version);
    auto result = runBelow({}, app.environment(), false);
    EXPECT_EQ(result.status, 0) << result.err;
    auto urls = app.recordedURLs();
    ASSERT_EQ(urls.size(), 1u) << version.value_or("none") << result.err;
    EXPECT_EQ(urls[0].rfind(form, 0), 0u) << version.value_or("none") << " " << urls[0];
  }
}
