#include "dsymcheck/DSYMMatch.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "console/Console.h"
#include "platform/Format.h"
#include "platform/files/Path.h"

namespace {

using Clock = std::chrono::steady_clock;

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

const char* const kWaitingForCompleteMessage =
    "Waiting up to %i seconds for %@ at path %@ to be complete\n\n";
// The third argument says why the file matters: one of the two texts below.
const char* const kIncompleteReason =
    "%@ at path %@ %@ its DWARF file %@ is incomplete: "
    "the file is shorter than its own load commands state. It was still being written, or was "
    "cut short, %i seconds after the Brantle run script build phase started. Add the dSYM's "
    "DWARF file, "
    "$(DWARF_DSYM_FOLDER_PATH)/$(DWARF_DSYM_FILE_NAME)/Contents/Resources/DWARF/"
    "$(EXECUTABLE_NAME), to the Input Files of the Brantle run script build phase, so that the "
    "phase runs after the dSYM is written.\n\n";
const char* const kHoldsTheExecutablesUUIDs = "holds the UUIDs of the executable %@, but";
const char* const kHasNothingToCompare = "has no executable UUID to compare with, and";

std::vector<UUIDArchitecturePair> executablePairs(const QVXMachOBinary& executable) {
  return executable.uuidArchitecturePairs();
}

bool holdsAll(const std::vector<UUIDArchitecturePair>& held,
              const std::vector<UUIDArchitecturePair>& wanted) {
  return std::all_of(wanted.begin(), wanted.end(), [&](const UUIDArchitecturePair& pair) {
    return std::find(held.begin(), held.end(), pair) != held.end();
  });
}

bool holdsAny(const std::vector<UUIDArchitecturePair>& held,
              const std::vector<UUIDArchitecturePair>& wanted) {
  return std::any_of(wanted.begin(), wanted.end(), [&](const UUIDArchitecturePair& pair) {
    return std::find(held.begin(), held.end(), pair) != held.end();
  });
}

// What one look at the bundle says against the executable's pairs.
struct Verdict {
  std::vector<UUIDArchitecturePair> found;  // every pair of every DWARF file
  std::vector<DWARFFileLook> holders;       // the files that hold a wanted pair
  std::vector<std::string> entries;         // the DWARF folder's names, listed first
  std::optional<std::string> incomplete;    // the first holder that is not complete
  bool allFound = false;
  bool agrees() const { return allFound && !incomplete; }
};

Verdict look(const std::string& dsymPath, const std::vector<UUIDArchitecturePair>& wanted) {
  Verdict verdict;
  verdict.entries = dwarfFolderEntries(dsymPath);
  for (auto& file : lookAtDWARFFiles(dsymPath)) {
    verdict.found.insert(verdict.found.end(), file.pairs.begin(), file.pairs.end());
    // With nothing wanted, every file is sent, so every file must be complete.
    if (!wanted.empty() && !holdsAny(file.pairs, wanted)) continue;
    if (!file.complete && !verdict.incomplete) verdict.incomplete = file.path;
    verdict.holders.push_back(std::move(file));
  }
  verdict.allFound = holdsAll(verdict.found, wanted);
  return verdict;
}

// One "UUID:%@ Slice:%@\n" line per pair, like the upload's summary.
std::string pairLines(const std::vector<UUIDArchitecturePair>& pairs) {
  if (pairs.empty()) return "no UUID\n";
  std::string lines;
  for (const auto& [uuid, architecture] : pairs) lines += uuidSliceLine(uuid, architecture);
  return lines;
}

// Looks at the bundle until it agrees with the wanted pairs, for up to
// seconds, announcing the wait once.
Verdict lookUntilAgreed(const std::string& dsymPath,
                        const std::vector<UUIDArchitecturePair>& wanted, std::int64_t seconds,
                        const std::function<void()>& announceWait) {
  Verdict verdict = look(dsymPath, wanted);
  if (verdict.agrees() || seconds <= 0) return verdict;
  announceWait();
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!verdict.agrees() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::min<Clock::duration>(kLookInterval, deadline - Clock::now()));
    verdict = look(dsymPath, wanted);
  }
  return verdict;
}

}  // namespace

DSYMMatch requireDSYMMatchesExecutable(DSYMWait wait, const std::string& dsymPath,
                                       const QVXMachOBinary& executable) {
  const std::vector<UUIDArchitecturePair> wanted = executablePairs(executable);
  if (wanted.empty()) return requireCompleteDSYM(wait, dsymPath);
  const std::string name = platform::lastPathComponent(dsymPath);
  const std::int64_t seconds = wait.seconds;
  const Verdict verdict = lookUntilAgreed(dsymPath, wanted, seconds, [&] {
    QVXLog(kWaitingMessage, static_cast<int>(seconds), name, dsymPath, executable.path());
  });
  if (verdict.agrees()) return matchOfEveryFile(verdict.holders, verdict.entries);
  if (verdict.allFound)
    failWithTitleAndReason(
        "dSYM Error",
        platform::format(kIncompleteReason, name, dsymPath,
                         platform::format(kHoldsTheExecutablesUUIDs, executable.path()),
                         *verdict.incomplete, static_cast<int>(seconds)));
  failWithTitleAndReason(
      "dSYM Error",
      platform::format(kMismatchReason, name, dsymPath, executable.path(), pairLines(wanted),
                       pairLines(verdict.found), static_cast<int>(seconds)));
}

DSYMMatch requireCompleteDSYM(DSYMWait wait, const std::string& dsymPath) {
  const std::string name = platform::lastPathComponent(dsymPath);
  const std::int64_t seconds = wait.seconds;
  const Verdict verdict = lookUntilAgreed(dsymPath, {}, seconds, [&] {
    QVXLog(kWaitingForCompleteMessage, static_cast<int>(seconds), name, dsymPath);
  });
  if (verdict.agrees()) return matchOfEveryFile(verdict.holders, verdict.entries);
  failWithTitleAndReason(
      "dSYM Error",
      platform::format(kIncompleteReason, name, dsymPath, std::string(kHasNothingToCompare),
                       *verdict.incomplete, static_cast<int>(seconds)));
}

std::optional<DSYMDisagreement> pairsDisagreement(
    const std::vector<UUIDArchitecturePair>& dsymPairs,
    const std::vector<UUIDArchitecturePair>& executablePairs) {
  if (holdsAll(dsymPairs, executablePairs)) return std::nullopt;
  return DSYMDisagreement{pairLines(executablePairs), pairLines(dsymPairs)};
}
