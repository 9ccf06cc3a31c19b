#pragma once

#include <string>

#include "platform/Error.h"

namespace platform {

// An error for a failed system call: domain "NSPOSIXErrorDomain", the errno
// value as code, and a description naming what failed and why.
Error posixError(int code, const std::string& what);

}  // namespace platform
