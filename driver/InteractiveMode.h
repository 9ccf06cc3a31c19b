#pragma once

#include <string>

#include "platform/Environment.h"

// Interactive mode: makes a fresh build directory under the cache root of
// the endpoint, copies the dSYM bundles there while assembling the build
// description, writes Build.plist when the desktop app reads it, and hands
// the build over. Returns the exit status 0; every failure ends the process
// with status 1 where it happens.
int runInteractiveMode(const platform::Environment& environment, const std::string& apiKey,
                       const std::string& endpointText);
