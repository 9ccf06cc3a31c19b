#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/desktop/URLOpener.h"
#include "tests/support/TestSupport.h"

TEST(URLOpener, EscapedURLsAreValid) {
  EXPECT_TRUE(platform::isValidURL("quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=%2Ftmp%2Fx%20y"));
  EXPECT_TRUE(platform::isValidURL("https://quorvex.com/sign_up"));
  EXPECT_TRUE(platform::isValidURL("quorvex://xcode?A=1&B=a~b-c.d_e"));
}

TEST(URLOpener, TextsThatAreNoURLsAreInvalid) {
  EXPECT_FALSE(platform::isValidURL(""));
  EXPECT_FALSE(platform::isValidURL("no scheme"));
  EXPECT_FALSE(platform::isValidURL("quorvex://xcode?A=1 2"));
  EXPECT_FALSE(platform::isValidURL("quorvex://xcode?A=\"x\""));
  EXPECT_FALSE(platform::isValidURL("quorvex://xcode?A=%zz"));
  EXPECT_FALSE(platform::isValidURL("quorvex://xcode?A=%2"));
  EXPECT_FALSE(platform::isValidURL("quorvex://xcode?A=\xC3\xA9"));
}

// The lookup reads the XDG folders of the process, so each case runs in a
// child whose folders are fresh and empty.
TEST(URLOpener, WithoutARegisteredApplicationTheOpenFails) {
  testsupport::TempDir dir;
  EXPECT_EXIT(
      {
        setenv("HOME", dir.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (dir / "shared").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir / "etc").c_str(), 1);
        std::exit(platform::openURLWithDefaultApplication("quorvex://xcode?A=1") ? 0 : 3);
      },
      ::testing::ExitedWithCode(3), "");
}

TEST(URLOpener, AnInvalidURLIsNotOpened) {
  EXPECT_FALSE(platform::openURLWithDefaultApplication("quorvex://xcode?A=1 2"));
}

namespace {

// A private XDG setup with a shell-script handler for one URL scheme; the
// handler writes the URL it gets to a file, and chatters on its console.
struct PrivateHandler {
  testsupport::TempDir dir;
  std::map<std::string, std::string> environment;

  explicit PrivateHandler(const std::string& scheme) {
    environment = {{"HOME", dir.path()},
                   {"PATH", "/usr/bin:/bin"},
                   {"XDG_DATA_HOME", dir / "data"},
                   {"XDG_DATA_DIRS", dir / "shared"},
                   {"XDG_CONFIG_HOME", dir / "config"},
                   {"XDG_CONFIG_DIRS", dir / "etc"}};
    std::string script = dir / "handler.sh";
    testsupport::writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + received() +
                                       ".part'\nmv '" + received() + ".part' '" + received() +
                                       "'\necho handler-out\necho handler-err >&2\n");
    chmod(script.c_str(), 0755);
    testsupport::writeFile(dir / "data/applications/test-handler.desktop",
                           "[Desktop Entry]\nType=Application\nName=Test handler\nExec=" + script +
                               " %u\nMimeType=x-scheme-handler/" + scheme + ";\n");
    testsupport::writeFile(
        dir / "config/mimeapps.list",
        "[Default Applications]\nx-scheme-handler/" + scheme + "=test-handler.desktop\n");
  }

  std::string received() const { return dir / "received.txt"; }

  // The URL the handler wrote, once it is there (the handler runs on its own).
  std::string waitForURL() const {
    for (int i = 0; i < 200 && !std::filesystem::exists(received()); ++i) usleep(50000);
    return testsupport::readFile(received());
  }
};

std::string openURLProgram() { return testsupport::testProgramsDir() + "/open_url"; }

}  // namespace

TEST(URLOpener, TheRegisteredApplicationGetsTheURL) {
  PrivateHandler handler("quorvex");
  const std::string url = "quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=%2Ftmp%2Fx%20y%2FBuild.plist";
  auto result = testsupport::runProcess({openURLProgram(), url}, handler.environment);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(handler.waitForURL(), url);
}

TEST(URLOpener, TheApplicationDoesNotWriteToTheCallersConsole) {
  PrivateHandler handler("quorvex");
  auto result =
      testsupport::runProcess({openURLProgram(), "quorvex://xcode?A=1"}, handler.environment);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(handler.waitForURL(), "quorvex://xcode?A=1");
  // Had the handler inherited the pipes, the run would have waited for its
  // output and captured it.
  EXPECT_EQ(result.out.find("handler-out"), std::string::npos);
  EXPECT_EQ(result.err.find("handler-err"), std::string::npos);
}

TEST(URLOpener, AnotherSchemesHandlerDoesNotTakeTheURL) {
  PrivateHandler handler("https");
  auto result =
      testsupport::runProcess({openURLProgram(), "quorvex://xcode?A=1"}, handler.environment);
  EXPECT_EQ(result.status, 3) << result.err;
}
