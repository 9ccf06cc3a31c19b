#pragma once

#include <string>

#include "platform/Environment.h"

// The platform word of the service paths from PLATFORM_NAME, compared
// without regard to case: "macosx" gives "mac"; "iphoneos" and
// "iphonesimulator" give "ios"; any other name gives "unknown". An absent
// or empty PLATFORM_NAME is reported and ends the run with status 1.
std::string getAppPlatform(const platform::Environment& environment);
