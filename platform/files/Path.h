#pragma once

#include <string>
#include <string_view>

namespace platform {

// Joins a path component with exactly one "/" between the two, as the
// platform's path-component rule does ("" + "x" is "x").
std::string appendPathComponent(std::string_view base, std::string_view component);

// The "%@/%@" join: the two texts with one "/" inserted, nothing normalised.
std::string joinWithSlash(std::string_view first, std::string_view second);

// The text after the last "." of the last path component, or "".
std::string pathExtension(std::string_view path);

// The last path component.
std::string lastPathComponent(std::string_view path);

// Whether a file-system object exists at the path (a link counts by its target).
bool fileExists(const std::string& path);

// Whether a directory exists at the path (a link counts by its target).
bool directoryExists(const std::string& path);

}  // namespace platform
