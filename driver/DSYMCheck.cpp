#include "driver/DSYMCheck.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/Text.h"
#include "platform/files/Path.h"

namespace {

// A day: enough for any build, and far from the clock's overflow.
constexpr std::int64_t kLongestWaitSeconds = 86400;

}  // namespace

DSYMWait dsymWait(const platform::Environment& environment) {
  auto setting = platform::valueFor(environment, "QUORVEX_DSYM_WAIT_SECONDS");
  if (!setting || setting->find_first_of("0123456789") == std::string::npos) return DSYMWait{};
  return DSYMWait{
      std::clamp<std::int64_t>(platform::integerValue(*setting), 0, kLongestWaitSeconds)};
}

DSYMMatch checkDSYMMatchesExecutable(const platform::Environment& environment,
                                     const std::shared_ptr<QVXMachOBinary>& executable) {
  const std::string dsymPath = platform::joinWithSlash(
      platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or(""),
      platform::valueFor(environment, "DWARF_DSYM_FILE_NAME").value_or(""));
  if (!executable) return requireCompleteDSYM(dsymWait(environment), dsymPath);
  return requireDSYMMatchesExecutable(dsymWait(environment), dsymPath, *executable);
}
