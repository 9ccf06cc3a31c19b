#include "tests/support/DesktopApp.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <thread>

#include "tests/support/TestSupport.h"

namespace testsupport {

namespace {

const char* const kEntryName = "quorvex-desktop-app.desktop";

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size()))
    text.replace(at, placeholder.size(), value);
}

// The entry template of the stand-in with its placeholders filled in; the
// version line goes when there is no version.
std::string desktopEntry(const std::string& recordPath,
                         const std::optional<std::string>& bundleVersion) {
  std::string entry = readFile(sourceRoot() + "/stand-ins/desktop-app/" + kEntryName + ".in");
  replaceAll(entry, "@DESKTOP_APP@", DesktopApp::handlerProgram());
  replaceAll(entry, "@RECORD_FILE@", recordPath);
  if (bundleVersion) {
    replaceAll(entry, "@BUNDLE_VERSION@", *bundleVersion);
  } else {
    replaceAll(entry, "X-Quorvex-Bundle-Version=@BUNDLE_VERSION@\n", "");
  }
  return entry;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::map<std::string, std::string> privateXDGEnvironment(const std::string& root) {
  std::map<std::string, std::string> environment = {
      {"HOME", root},
      {"XDG_DATA_HOME", root + "/xdg/data"},
      {"XDG_CONFIG_HOME", root + "/xdg/config"},
      {"XDG_CACHE_HOME", root + "/xdg/cache"},
      {"XDG_DATA_DIRS", root + "/xdg/system-data"},
      {"XDG_CONFIG_DIRS", root + "/xdg/system-config"},
  };
  for (const auto& [name, folder] : environment) makeDirectories(folder);
  return environment;
}

DesktopApp::DesktopApp(const std::string& root, const std::optional<std::string>& bundleVersion)
    : environment_(privateXDGEnvironment(root)),
      entryPath_(environment_["XDG_DATA_HOME"] + "/applications/" + kEntryName),
      recordPath_(root + "/desktop-app-urls.txt") {
  writeFile(entryPath_, desktopEntry(recordPath_, bundleVersion));
  writeFile(environment_["XDG_CONFIG_HOME"] + "/mimeapps.list",
            std::string("[Default Applications]\nx-scheme-handler/quorvex=") + kEntryName + "\n");
}

// Escapes the path as GLib's g_filename_to_uri does: unreserved characters,
// sub-delimiters, ":", "@" and "/" stay, every other byte becomes %XX.
std::string DesktopApp::applicationURL() const {
  static const std::string kKept = "-._~!$&'()*+,;=:@/";
  std::string url = "file://";
  for (unsigned char c : entryPath_) {
    if (isalnum(c) || kKept.find(static_cast<char>(c)) != std::string::npos) {
      url += static_cast<char>(c);
    } else {
      char escaped[4];
      snprintf(escaped, sizeof escaped, "%%%02X", c);
      url += escaped;
    }
  }
  return url;
}

std::vector<std::string> DesktopApp::recordedURLs(std::size_t atLeast,
                                                  std::chrono::milliseconds patience) const {
  auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    auto urls = linesOf(readFile(recordPath_));
    if (urls.size() >= atLeast || std::chrono::steady_clock::now() >= deadline) return urls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string DesktopApp::handlerProgram() {
  return binaryRoot() + "/stand-ins/desktop-app/desktop-app";
}

}  // namespace testsupport
