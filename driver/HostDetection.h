#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes/ProcessRecords.h"

// The query that yields the record of one process, or nothing.
using ProcessRecordQuery = std::function<std::optional<platform::ProcessRecord>(int pid)>;

// The UTF-8 command names from the process pid up to and including the first
// process whose id is below 2. The walk stops, keeping the names gathered so
// far, when a record cannot be read, names another process, is newer than
// its child (a reused id) or was already visited; a name that is not UTF-8 is
// skipped and the walk goes on to its parent.
std::vector<std::string> ancestryCommandNames(int pid, const ProcessRecordQuery& query);

// Whether a process of exactly that command name is the tool or one of its
// ancestors (whole-text, case-sensitive).
bool isProcessNameInHierarchy(const std::string& name);

// Whether Xcode started the build; logs the answer in debug mode.
bool isXcodeInProcessHierarchy();

// Whether the Xcode Bots build daemon started the build; logs the answer in
// debug mode.
bool isBotsDaemonInProcessHierarchy();

// Whether an application is registered to open "quorvex://xcode?" URLs (the
// desktop app); logs its location in debug mode.
bool isQuorvexInstalled();

// Whether the registered desktop app reads Build.plist: its "CFBundleVersion"
// as an integer is greater than 202. False without an app or a version.
bool isQuorvexBuildPlistCompatible();
