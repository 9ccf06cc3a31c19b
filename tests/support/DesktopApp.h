#pragma once

// Registers the desktop-app stand-in (stand-ins/desktop-app) as the handler of
// "quorvex" URLs in private XDG folders, and reads back what it was opened
// with. Use:
//
//   testsupport::TempDir home;
//   testsupport::DesktopApp app(home.path(), "203");   // or std::nullopt: no version key
//   auto environment = app.environment();              // HOME and the XDG variables
//   environment["BUILT_PRODUCTS_DIR"] = ...;
//   auto result = testsupport::runProcess({testsupport::runExecutable(), key}, environment,
//   srcroot); auto urls = app.recordedURLs();                    // waits for the handler
//
// For a run with no handler at all, pass privateXDGEnvironment(home.path()).
// GIO reads the XDG folders once per process, so a test asks through a
// child process (the built `run`) with this environment, never in-process.

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// HOME=root and the XDG variables pointing to empty folders under root, so
// that neither the user's nor the machine's handlers are seen:
// XDG_DATA_HOME=root/xdg/data, XDG_CONFIG_HOME=root/xdg/config,
// XDG_CACHE_HOME=root/xdg/cache, XDG_DATA_DIRS=root/xdg/system-data,
// XDG_CONFIG_DIRS=root/xdg/system-config. The folders are created.
std::map<std::string, std::string> privateXDGEnvironment(const std::string& root);

// The handler registered in the private XDG folders of privateXDGEnvironment(root).
class DesktopApp {
 public:
  // Writes the desktop entry XDG_DATA_HOME/applications/quorvex-desktop-app.desktop
  // with "X-Quorvex-Bundle-Version" set to bundleVersion (no such key when
  // nothing), and XDG_CONFIG_HOME/mimeapps.list making it the default for
  // x-scheme-handler/quorvex. The handler records into recordFilePath().
  DesktopApp(const std::string& root, const std::optional<std::string>& bundleVersion);

  // The environment a run needs to see this handler: privateXDGEnvironment(root).
  std::map<std::string, std::string> environment() const { return environment_; }

  // The desktop entry; its file:// URL is the application's location.
  const std::string& desktopEntryPath() const { return entryPath_; }

  // The file:// URL of the desktop entry, as the "Install path" line shows it.
  std::string applicationURL() const;

  // The file the handler appends each URL it is opened with to, one a line.
  const std::string& recordFilePath() const { return recordPath_; }

  // The URLs recorded so far, in order. Since the desktop launches handlers
  // without waiting for them, it waits until at least `atLeast` URLs are
  // there or `patience` has passed, and returns what is there then.
  std::vector<std::string> recordedURLs(
      std::size_t atLeast = 1, std::chrono::milliseconds patience = std::chrono::seconds(20)) const;

  // The built handler program.
  static std::string handlerProgram();

 private:
  std::map<std::string, std::string> environment_;
  std::string entryPath_;
  std::string recordPath_;
};

}  // namespace testsupport
