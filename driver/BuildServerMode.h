#pragma once

#include <memory>
#include <string>

#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"

// Build-server mode: notifies the web service once (its result never
// decides), then uploads the dSYM, a second time only when the first
// attempt failed. Returns the exit status: 0 when an attempt succeeded, else 1.
int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, const std::string& apiKey,
                       const std::string& buildSecret);
