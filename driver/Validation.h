#pragma once

#include <string>

#include "platform/Environment.h"
#include "platform/Value.h"

// Stops the run unless the build settings name the products directory, the
// Info.plist and the dSYM bundle, the Info.plist exists with a bundle
// identifier, and the dSYM bundle exists. Returns only when all hold.
void verifyEnvironmentIsValid(const platform::Environment& environment);

// Stops the run unless the property list at the path has a non-empty text
// "CFBundleIdentifier" (an unreadable file has none).
void verifyInfoPlistValuesAtPath(const std::string& infoPlistPath);

// The app's Info.plist (BUILT_PRODUCTS_DIR/INFOPLIST_PATH) as a dictionary;
// stops the run when it cannot be read.
platform::Value infoPlistDictionary(const platform::Environment& environment);

// Stops the run unless the working directory is the project's source root
// (SRCROOT), compared as written and then with symbolic links resolved: a
// target's build phase runs there, a scheme's post-action does not.
void computePathToFramework(const platform::Environment& environment);
