#include "platform/Assert.h"

#include <cstdlib>

#include "platform/Log.h"

namespace platform {

void assertionReport(const char* condition, const char* operation, const char* file, int line) {
  NSLog("*** Assertion failure in %@, %@:%i: Invalid parameter not satisfying: %@", operation, file,
        line, condition);
  abort();
}

}  // namespace platform
