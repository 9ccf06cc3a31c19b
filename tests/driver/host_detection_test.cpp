#include <gtest/gtest.h>

#include <cstdlib>

#include "console/Console.h"
#include "driver/HostDetection.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/TestSupport.h"

using ::testing::ExitedWithCode;

namespace {

// GIO reads the XDG folders once per process, so each question is asked in
// a fresh child (a death test) that first points them at the test's own.
void useEnvironment(const std::map<std::string, std::string>& environment) {
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
}

[[noreturn]] void exitWithAnswer(bool answer) { exit(answer ? 0 : 1); }

}  // namespace

class DesktopAppDeathTest : public ::testing::Test {
 protected:
  testsupport::TempDir home;
};

TEST_F(DesktopAppDeathTest, NoHandlerMeansNeitherInstalledNorCompatible) {
  auto environment = testsupport::privateXDGEnvironment(home.path());
  EXPECT_EXIT((useEnvironment(environment), exitWithAnswer(isQuorvexInstalled())),
              ExitedWithCode(1), "");
  EXPECT_EXIT((useEnvironment(environment), exitWithAnswer(isQuorvexBuildPlistCompatible())),
              ExitedWithCode(1), "");
}

TEST_F(DesktopAppDeathTest, InstalledHandlerLogsItsLocationInDebugMode) {
  testsupport::DesktopApp app(home.path(), "203");
  EXPECT_EXIT(
      (useEnvironment(app.environment()), debugMode = true, exitWithAnswer(isQuorvexInstalled())),
      ExitedWithCode(0), "\n\nBrantle: Install path " + app.applicationURL() + "\n");
}

TEST_F(DesktopAppDeathTest, InstalledHandlerIsQuietOutsideDebugMode) {
  testsupport::DesktopApp app(home.path(), "203");
  EXPECT_EXIT((useEnvironment(app.environment()), exitWithAnswer(isQuorvexInstalled())),
              ExitedWithCode(0), "^$");
}

TEST_F(DesktopAppDeathTest, BundleVersion202IsTooOld) {
  testsupport::DesktopApp app(home.path(), "202");
  EXPECT_EXIT((useEnvironment(app.environment()), exitWithAnswer(isQuorvexBuildPlistCompatible())),
              ExitedWithCode(1), "^$");
}

TEST_F(DesktopAppDeathTest, BundleVersion203ReadsBuildPlist) {
  testsupport::DesktopApp app(home.path(), "203");
  EXPECT_EXIT((useEnvironment(app.environment()), debugMode = true,
               exitWithAnswer(isQuorvexBuildPlistCompatible())),
              ExitedWithCode(0), "^$");  // the compatibility test logs nothing
}

TEST_F(DesktopAppDeathTest, BundleVersion203Point1CountsAs203) {
  testsupport::DesktopApp app(home.path(), "203.1");
  EXPECT_EXIT((useEnvironment(app.environment()), exitWithAnswer(isQuorvexBuildPlistCompatible())),
              ExitedWithCode(0), "");
}

TEST_F(DesktopAppDeathTest, MissingOrNonNumericBundleVersionIsNotCompatible) {
  for (std::optional<std::string> version : {std::optional<std::string>(), {"abc"}, {""}}) {
    testsupport::TempDir own;
    testsupport::DesktopApp app(own.path(), version);
    EXPECT_EXIT((useEnvironment(app.environment()), exitWithAnswer(isQuorvexInstalled())),
                ExitedWithCode(0), "");
    EXPECT_EXIT(
        (useEnvironment(app.environment()), exitWithAnswer(isQuorvexBuildPlistCompatible())),
        ExitedWithCode(1), "");
  }
}

TEST_F(DesktopAppDeathTest, LeadingSpaceAndSignFollowTheIntegerRule) {
  for (auto [version, compatible] :
       {std::pair{" +300", 0}, {"-500", 1}, {"1000abc", 0}, {"0203", 0}, {"202.9", 1}}) {
    testsupport::TempDir own;
    testsupport::DesktopApp app(own.path(), std::string(version));
    EXPECT_EXIT(
        (useEnvironment(app.environment()), exitWithAnswer(isQuorvexBuildPlistCompatible())),
        ExitedWithCode(compatible), "")
        << version;
  }
}
