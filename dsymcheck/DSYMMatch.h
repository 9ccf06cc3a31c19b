#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dsymcheck/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"

// How long the checks below wait for a dSYM that may still be being
// written: 0 looks once.
struct DSYMWait {
  std::int64_t seconds = 30;
};

// Returns once every slice of the executable that has a UUID finds the same
// UUID and architecture in one of the DWARF files of the dSYM bundle at
// dsymPath, and each DWARF file that holds one of them is complete (see
// QVXMachOFileIsComplete). While they disagree the dSYM may still be being
// written, so the bundle is read again about every half second, for up to
// the wait's seconds; then the run stops
// with "dSYM Error" naming both sets of UUIDs, or the incomplete file. The
// match holds the DWARF files that hold the executable's pairs, and all
// their pairs. An executable without UUIDs has nothing to compare: the dSYM
// must then be complete as requireCompleteDSYM requires.
DSYMMatch requireDSYMMatchesExecutable(DSYMWait wait, const std::string& dsymPath,
                                       const QVXMachOBinary& executable);

// Returns once every DWARF file of the dSYM bundle at dsymPath is complete,
// waiting as above, else stops the run with "dSYM Error" naming the
// incomplete file. The match holds every DWARF file and all their pairs.
DSYMMatch requireCompleteDSYM(DSYMWait wait, const std::string& dsymPath);

// Both sides of a disagreement, as "UUID:%@ Slice:%@\n" lines.
struct DSYMDisagreement {
  std::string executableLines;
  std::string dsymLines;
};

// The same rule on pairs already read, without waiting and without ending
// the run: both sets of pairs, as lines, when the dSYM's pairs do not hold
// every pair of the executable; nothing when they do (or when the
// executable has none).
std::optional<DSYMDisagreement> pairsDisagreement(
    const std::vector<UUIDArchitecturePair>& dsymPairs,
    const std::vector<UUIDArchitecturePair>& executablePairs);
