#include "platform/Environment.h"

#include <stdlib.h>

#include <cstring>

extern char** environ;

namespace platform {

Environment environmentSnapshot() {
  Environment snapshot;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = strchr(*entry, '=');
    if (!equals) continue;
    snapshot.emplace(std::string(*entry, static_cast<size_t>(equals - *entry)),
                     std::string(equals + 1));
  }
  return snapshot;
}

std::optional<std::string> valueFor(const Environment& environment, const std::string& name) {
  auto it = environment.find(name);
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

void removeEnvironmentVariable(const std::string& name) { unsetenv(name.c_str()); }

}  // namespace platform
