#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// How copyItemAtPath treats the source and the modes of the copy.
struct CopyOptions {
  // A source that is itself a symbolic link is copied as what it points to;
  // links inside a copied directory stay links.
  bool followTopLink = false;
  // Directories are made 0700 and files 0600, whatever the source's modes.
  bool ownerOnly = false;
};

// Copies a file, a symbolic link (as a link, unless options say to follow
// the source itself) or a whole directory tree to a destination that must
// not exist yet. Permissions (unless options make them owner-only) and
// modification times are kept; file data is cloned (reflink) or copied
// inside the kernel where the file system allows, else read and written.
// Returns the error of the first item that failed, or nothing on success;
// whatever was copied before a failure stays.
std::optional<Error> copyItemAtPath(const std::string& source, const std::string& destination,
                                    const CopyOptions& options = {});

}  // namespace platform
