#pragma once

#include <string>

#include "platform/Value.h"

namespace platform {

// The directory that holds the running executable (the framework directory).
std::string mainBundlePath();

// The tool's own information dictionary: "CFBundleShortVersionString",
// "CFBundleVersion" and "CFBundleIdentifier".
const Value& mainBundleInfoDictionary();

// The values of that dictionary as texts.
std::string toolShortVersion();
std::string toolBundleVersion();
std::string toolIdentifier();

}  // namespace platform
