#include "tests/support/Browser.h"

#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/DesktopApp.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

Browser::Browser(const std::map<std::string, std::string>& environment,
                 const std::string& recordPath)
    : recordPath_(recordPath) {
  writeFile(environment.at("XDG_DATA_HOME") + "/applications/test-browser.desktop",
            "[Desktop Entry]\nType=Application\nName=Test browser\nExec=\"" +
                DesktopApp::handlerProgram() + "\" --record \"" + recordPath +
                "\" %u\nNoDisplay=true\nMimeType=x-scheme-handler/https;\n");
  std::string mimeapps = environment.at("XDG_CONFIG_HOME") + "/mimeapps.list";
  std::string existing = readFile(mimeapps);
  if (existing.find("[Default Applications]") == std::string::npos)
    existing += "[Default Applications]\n";
  if (!existing.empty() && existing.back() != '\n') existing += '\n';
  writeFile(mimeapps, existing + "x-scheme-handler/https=test-browser.desktop\n");
}

std::vector<std::string> Browser::recordedURLs(std::size_t atLeast,
                                               std::chrono::milliseconds patience) const {
  auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    std::vector<std::string> urls;
    std::istringstream in(readFile(recordPath_));
    for (std::string line; std::getline(in, line);) urls.push_back(line);
    if (urls.size() >= atLeast || std::chrono::steady_clock::now() >= deadline) return urls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace testsupport
