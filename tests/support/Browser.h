#pragma once

// A stand-in default browser: the desktop-app stand-in program registered,
// in the private XDG folders of an environment made by
// privateXDGEnvironment(), as the handler of "https" URLs, recording each
// URL it is opened with. Use:
//
//   auto environment = testsupport::privateXDGEnvironment(home.path());
//   testsupport::Browser browser(environment, home / "browser-urls.txt");
//   ... run the tool with `environment` ...
//   auto urls = browser.recordedURLs();   // waits for the browser

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

class Browser {
 public:
  // Writes XDG_DATA_HOME/applications/test-browser.desktop and makes it the
  // default for x-scheme-handler/https in XDG_CONFIG_HOME/mimeapps.list
  // (added to a file a DesktopApp wrote before, if any).
  Browser(const std::map<std::string, std::string>& environment, const std::string& recordPath);

  // The URLs opened so far, waiting until at least `atLeast` are there or
  // `patience` has passed.
  std::vector<std::string> recordedURLs(
      std::size_t atLeast = 1, std::chrono::milliseconds patience = std::chrono::seconds(20)) const;

 private:
  std::string recordPath_;
};

}  // namespace testsupport
