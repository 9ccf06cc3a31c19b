#pragma once

#include <initializer_list>
#include <string>

#include "platform/Environment.h"
#include "platform/Value.h"

// Stores in the description the value of each key that the source holds,
// under the same key, in the order given; a source that is not a
// dictionary holds no key. An empty value is copied as it is.
void copyWhenPresent(platform::Value& description, const platform::Value& source,
                     std::initializer_list<const char*> keys);

// The same, with the environment snapshot as the source.
void copyWhenPresent(platform::Value& description, const platform::Environment& source,
                     std::initializer_list<const char*> keys);

// The build description of an interactive run, with its 17 keys in order.
// Copies every dSYM bundle of the products directory into the build
// directory while it is assembled (a failed copy ends the run there), and
// reads the app's Info.plist at the products directory joined with
// INFOPLIST_PATH (an unreadable one leaves its five keys out).
platform::Value buildDescription(const platform::Environment& environment,
                                 const std::string& apiKey, const std::string& productsDirectory,
                                 const std::string& buildDirectory);

// The path of Build.plist in a build directory.
std::string buildPlistPath(const std::string& buildDirectory);

// Writes the description to that path as an XML property list, atomically.
// Returns false when the file could not be written.
bool writeBuildPlist(const platform::Value& description, const std::string& buildDirectory);
