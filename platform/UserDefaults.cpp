#include "platform/UserDefaults.h"

#include <cstdlib>
#include <string_view>

#include "platform/ToolIdentity.h"
#include "platform/propertylists/PropertyList.h"

namespace platform {

namespace {

std::optional<Value> argumentDomainValue(const std::string& key, int argc,
                                         const char* const* argv) {
  std::optional<Value> found;
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] && argv[i][0] == '-' && key == std::string_view(argv[i] + 1)) {
      found = Value(std::string(argv[i + 1] ? argv[i + 1] : ""));
      ++i;
    }
  }
  return found;
}

}  // namespace

std::string preferencesFilePath() {
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && config[0] == '/') {
    folder = config;
  } else {
    const char* home = getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return folder + "/" + kToolIdentifier + ".plist";
}

std::optional<Value> userDefault(const std::string& key, int argc, const char* const* argv) {
  if (auto value = argumentDomainValue(key, argc, argv)) return value;
  auto preferences = dictionaryWithContentsOfFile(preferencesFilePath());
  if (!preferences) return std::nullopt;
  auto it = preferences->find(key);
  if (it == preferences->end()) return std::nullopt;
  return *it;
}

}  // namespace platform
