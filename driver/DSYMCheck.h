#pragma once

#include <memory>

#include "dsymcheck/DSYMMatch.h"
#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"

// How long the build phase waits for its dSYM: QUORVEX_DSYM_WAIT_SECONDS
// (default 30 when absent, empty or no number; at most a day; 0 looks once).
DSYMWait dsymWait(const platform::Environment& environment);

// Stops the run with "dSYM Error" unless the dSYM at
// DWARF_DSYM_FOLDER_PATH/DWARF_DSYM_FILE_NAME describes the executable. With
// no executable object nothing is compared, and the dSYM must be complete as
// requireCompleteDSYM requires.
DSYMMatch checkDSYMMatchesExecutable(const platform::Environment& environment,
                                     const std::shared_ptr<QVXMachOBinary>& executable);
