#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace platform {

// A user default of the tool: the argument domain first ("-KEY VALUE"
// anywhere after the program name), then the preferences file
// ${XDG_CONFIG_HOME:-$HOME/.config}/com.quorvex.run.plist. Nothing when
// neither holds the key.
std::optional<Value> userDefault(const std::string& key, int argc, const char* const* argv);

// The path of the tool's preferences file.
std::string preferencesFilePath();

}  // namespace platform
