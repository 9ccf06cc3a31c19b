#pragma once

#include <memory>
#include <string>

#include "dsymcheck/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"

// Build-server mode: notifies the web service once (its result never
// decides), then uploads the dSYM, a second time only when the first
// attempt failed. With QUORVEX_UPLOAD_ALL_DSYMS the other dSYM bundles of the
// build follow, each checked against its product before anything is sent and
// uploaded the same way. appMatch is what the app's dSYM check matched; each
// upload carries the pairs of what its check matched and is sent only when
// those DWARF files are unchanged once the bundle is zipped. Returns the exit status: 0 when every
// upload succeeded in one of its attempts, else 1.
int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, DSYMMatch appMatch,
                       const std::string& apiKey, const std::string& buildSecret);
