#pragma once

#include <string>
#include <vector>

namespace platform {

// The user's caches directories, first one preferred: $XDG_CACHE_HOME when it
// is an absolute path, else $HOME/.cache when HOME is absolute. Empty when
// neither is usable.
std::vector<std::string> userCachesDirectories();

// The user's home directory: $HOME when absolute, else the password
// database's entry for the user, else "/".
std::string homeDirectory();

}  // namespace platform
