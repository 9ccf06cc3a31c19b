#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// The folder for temporary files: TMPDIR when it names one, else "/tmp".
std::string temporaryDirectory();

// Makes a new folder under temporaryDirectory() that only this user may
// enter (mode 0700), its name starting with PREFIX. Nothing, with the error
// in *error when given, when it cannot be made.
std::optional<std::string> makePrivateTemporaryFolder(const std::string& prefix,
                                                      Error* error = nullptr);

// Makes PATH the folder for temporary files of this process and its
// children (TMPDIR). Call it before any thread starts.
void setTemporaryDirectory(const std::string& path);

}  // namespace platform
