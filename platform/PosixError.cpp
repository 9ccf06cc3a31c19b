#include "platform/PosixError.h"

#include <cstring>

namespace platform {

Error posixError(int code, const std::string& what) {
  return Error{"NSPOSIXErrorDomain", code, what + ": " + std::strerror(code)};
}

}  // namespace platform
