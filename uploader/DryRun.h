#pragma once

#include <string>
#include <vector>

#include "service/DSYMUpload.h"

// What --dry-run prints for the uploads: per dSYM its path, then indented
// the project fields the form carries (one it leaves out is not listed),
// the platform word and the UUID/architecture pairs.
std::string dryRunListing(const std::vector<DSYMUploadDescription>& uploads);
