#include "driver/DSYMMatch.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "driver/Console.h"
#include "macho/QVXdSYM.h"
#include "platform/FileURL.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace {

using Clock = std::chrono::steady_clock;
using Pair = std::pair<std::string, std::string>;  // UUID string, architecture name

constexpr std::int64_t kDefaultWaitSeconds = 30;
// A day: enough for any build, and far from the clock's overflow.
constexpr std::int64_t kLongestWaitSeconds = 86400;
constexpr auto kLookInterval = std::chrono::milliseconds(500);

const char* const kWaitingMessage =
    "Waiting up to %i seconds for %@ at path %@ to match the executable %@\n\n";
const char* const kMismatchReason =
    "%@ at path %@ does not describe the executable %@ of this build.\nThe executable "
    "holds:\n%@The dSYM holds:\n%@This is a timing issue: the dSYM was not written by this build, "
    "or was not complete %i seconds after the Brantle run script build phase started. Add the "
    "dSYM's DWARF file, "
    "$(DWARF_DSYM_FOLDER_PATH)/$(DWARF_DSYM_FILE_NAME)/Contents/Resources/DWARF/"
    "$(EXECUTABLE_NAME), to the Input Files of the Brantle run script build phase, so that the "
    "phase runs after the dSYM is written. DEBUG_INFORMATION_FORMAT should be set to "
    "dwarf-with-dsym for all configurations.\n\n";

// A callback that keeps each slice's pair, when the slice has a UUID.
QVXMachOBinary::UUIDCallback keepingPairsIn(std::vector<Pair>& pairs) {
  return [&pairs](const std::optional<std::string>& uuid, const std::string& architecture) {
    if (uuid) pairs.emplace_back(*uuid, architecture);
  };
}

std::vector<Pair> executablePairs(const QVXMachOBinary& executable) {
  std::vector<Pair> pairs;
  executable.enumerateUUIDs(keepingPairsIn(pairs));
  return pairs;
}

// Every pair of every DWARF file of the bundle; none when it does not open.
std::vector<Pair> dSYMPairs(const std::string& dsymPath) {
  std::vector<Pair> pairs;
  auto dSYM = QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(dsymPath));
  if (dSYM) dSYM->enumerateAllUUIDs(keepingPairsIn(pairs));
  return pairs;
}

bool describes(const std::vector<Pair>& dsym, const std::vector<Pair>& executable) {
  return std::all_of(executable.begin(), executable.end(), [&](const Pair& pair) {
    return std::find(dsym.begin(), dsym.end(), pair) != dsym.end();
  });
}

// Absent, empty or not a number: the default; negative: 0.
std::int64_t waitSeconds(const platform::Environment& environment) {
  auto setting = platform::valueFor(environment, "QUORVEX_DSYM_WAIT_SECONDS");
  if (!setting || setting->find_first_of("0123456789") == std::string::npos)
    return kDefaultWaitSeconds;
  return std::clamp<std::int64_t>(platform::integerValue(*setting), 0, kLongestWaitSeconds);
}

// One "UUID:%@ Slice:%@\n" line per pair, like the upload's summary.
std::string pairLines(const std::vector<Pair>& pairs) {
  if (pairs.empty()) return "no UUID\n";
  std::string lines;
  for (const auto& [uuid, architecture] : pairs)
    lines += platform::format("UUID:%@ Slice:%@\n", uuid, architecture);
  return lines;
}

}  // namespace

void checkDSYMMatchesExecutable(const platform::Environment& environment,
                                const std::shared_ptr<QVXMachOBinary>& executable) {
  if (!executable) return;
  const std::string dsymPath = platform::joinWithSlash(
      platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or(""),
      platform::valueFor(environment, "DWARF_DSYM_FILE_NAME").value_or(""));
  requireDSYMMatchesExecutable(environment, dsymPath, *executable);
}

void requireDSYMMatchesExecutable(const platform::Environment& environment,
                                  const std::string& dsymPath, const QVXMachOBinary& executable) {
  const std::vector<Pair> wanted = executablePairs(executable);
  if (wanted.empty()) return;
  std::vector<Pair> found = dSYMPairs(dsymPath);
  if (describes(found, wanted)) return;
  const std::string name = platform::lastPathComponent(dsymPath);
  const std::int64_t seconds = waitSeconds(environment);
  if (seconds > 0) {
    QVXLog(kWaitingMessage, static_cast<int>(seconds), name, dsymPath, executable.path());
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
      std::this_thread::sleep_for(
          std::min<Clock::duration>(kLookInterval, deadline - Clock::now()));
      found = dSYMPairs(dsymPath);
      if (describes(found, wanted)) return;
    }
  }
  failWithTitleAndReason(
      "dSYM Error",
      platform::format(kMismatchReason, name, dsymPath, executable.path(), pairLines(wanted),
                       pairLines(found), static_cast<int>(seconds)));
}

std::optional<DSYMDisagreement> dSYMDisagreement(const std::string& dsymPath,
                                                 const QVXMachOBinary& executable) {
  const std::vector<Pair> wanted = executablePairs(executable);
  const std::vector<Pair> found = dSYMPairs(dsymPath);
  if (wanted.empty() || describes(found, wanted)) return std::nullopt;
  return DSYMDisagreement{pairLines(wanted), pairLines(found)};
}
