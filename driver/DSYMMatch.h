#pragma once

#include <memory>
#include <optional>
#include <string>

#include "driver/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"

// Stops the run with "dSYM Error" unless the dSYM at
// DWARF_DSYM_FOLDER_PATH/DWARF_DSYM_FILE_NAME describes the executable. With
// no executable object nothing is compared, and the dSYM must be complete as
// requireCompleteDSYM requires.
DSYMMatch checkDSYMMatchesExecutable(const platform::Environment& environment,
                                     const std::shared_ptr<QVXMachOBinary>& executable);

// Returns once every slice of the executable that has a UUID finds the same
// UUID and architecture in one of the DWARF files of the dSYM bundle at
// dsymPath, and each DWARF file that holds one of them is complete (see
// QVXMachOFileIsComplete). While they disagree the dSYM may still be being
// written, so the bundle is read again about every half second, for up to
// QUORVEX_DSYM_WAIT_SECONDS (default 30; 0 reads it once); then the run stops
// with "dSYM Error" naming both sets of UUIDs, or the incomplete file. The
// match holds the DWARF files that hold the executable's pairs, and all
// their pairs. An executable without UUIDs has nothing to compare: the dSYM
// must then be complete as requireCompleteDSYM requires.
DSYMMatch requireDSYMMatchesExecutable(const platform::Environment& environment,
                                       const std::string& dsymPath,
                                       const QVXMachOBinary& executable);

// Returns once every DWARF file of the dSYM bundle at dsymPath is complete,
// waiting as above, else stops the run with "dSYM Error" naming the
// incomplete file. The match holds every DWARF file and all their pairs.
DSYMMatch requireCompleteDSYM(const platform::Environment& environment,
                              const std::string& dsymPath);

// Both sides of a disagreement, as "UUID:%@ Slice:%@\n" lines.
struct DSYMDisagreement {
  std::string executableLines;
  std::string dsymLines;
};

// The same rule on pairs already read, without waiting and without ending
// the run: both sets of pairs, as lines, when the dSYM's pairs do not hold
// every pair of the executable; nothing when they do (or when the
// executable has none).
std::optional<DSYMDisagreement> pairsDisagreement(const std::vector<UUIDPair>& dsymPairs,
                                                  const std::vector<UUIDPair>& executablePairs);
