#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform {

// The build settings and every other variable of the process environment.
using Environment = std::map<std::string, std::string>;

// A snapshot of the whole process environment, taken once.
Environment environmentSnapshot();

// The value of a variable, or nothing when it is absent (an empty value is present).
std::optional<std::string> valueFor(const Environment& environment, const std::string& name);

// Removes a variable from the process environment, so that no program
// started later inherits it. Call it before any thread starts.
void removeEnvironmentVariable(const std::string& name);

}  // namespace platform
