#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/DesktopApp.h"
#include "tests/support/TestSupport.h"

using testsupport::countOf;
using testsupport::DesktopApp;

using URLs = std::vector<std::string>;

// The desktop-app stand-in and its registration, as the end-to-end tests of
// the hand-off use them.
class DesktopAppStandInTest : public ::testing::Test {
 protected:
  testsupport::TempDir home;
};

TEST_F(DesktopAppStandInTest, EntryCarriesTheVersionOrNoVersionKey) {
  DesktopApp withVersion(home / "a", "203.1");
  std::string entry = testsupport::readFile(withVersion.desktopEntryPath());
  EXPECT_EQ(countOf(entry, "\nX-Quorvex-Bundle-Version=203.1\n"), 1u) << entry;
  EXPECT_EQ(countOf(entry, "\nMimeType=x-scheme-handler/quorvex;\n"), 1u);
  std::string exec = "\"";  // built in place: GCC 12 warns falsely at -O3 on "..." + string
  exec.append(DesktopApp::handlerProgram()).append("\" --record \"");
  exec.append(withVersion.recordFilePath()).append("\" %u\n");
  EXPECT_EQ(countOf(entry, exec), 1u);
  EXPECT_EQ(countOf(entry, "@"), 0u);

  DesktopApp withoutVersion(home / "b", std::nullopt);
  EXPECT_EQ(countOf(testsupport::readFile(withoutVersion.desktopEntryPath()), "X-Quorvex"), 0u);
}

TEST_F(DesktopAppStandInTest, EnvironmentPointsOnlyAtPrivateFolders) {
  DesktopApp app(home.path(), "203");
  auto environment = app.environment();
  EXPECT_EQ(environment["HOME"], home.path());
  for (const char* name :
       {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    EXPECT_EQ(environment[name].rfind(home.path() + "/", 0), 0u) << name;
    EXPECT_TRUE(std::filesystem::is_directory(environment[name])) << name;
  }
  EXPECT_EQ(app.applicationURL(), "file://" + app.desktopEntryPath());
}

TEST_F(DesktopAppStandInTest, HandlerAppendsEachURLOnItsOwnLine) {
  DesktopApp app(home.path(), "203");
  for (const char* url : {"quorvex://xcode?first=1", "quorvex://xcode?second=%20two"}) {
    auto result = testsupport::runProcess(
        {DesktopApp::handlerProgram(), "--record", app.recordFilePath(), url}, {});
    EXPECT_EQ(result.status, 0) << result.err;
  }
  EXPECT_EQ(app.recordedURLs(2),
            (URLs{"quorvex://xcode?first=1", "quorvex://xcode?second=%20two"}));
}

TEST_F(DesktopAppStandInTest, OpeningAQuorvexURLStartsTheRegisteredHandler) {
  DesktopApp app(home.path(), "203");
  const std::string url = "quorvex://xcode?buildPlist=%2Ftmp%2FBuild.plist";
  auto result = testsupport::runProcess({"/usr/bin/gio", "open", url}, app.environment());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(app.recordedURLs(), URLs{url});
}

TEST_F(DesktopAppStandInTest, NothingRecordedGivesNoURLsOnceThePatienceIsOver) {
  DesktopApp app(home.path(), "203");
  EXPECT_TRUE(app.recordedURLs(1, std::chrono::milliseconds(50)).empty());
}
