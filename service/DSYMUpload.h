#pragma once

#include <string>

#include "driver/DWARFFiles.h"
#include "platform/Environment.h"

// One upload attempt of the dSYM bundle: zips DWARF_DSYM_FOLDER_PATH/
// DWARF_DSYM_FILE_NAME next to itself with the framework's archiver under a new unique
// name, and POSTs it to "/api/v3/platforms/PLATFORM/code_mappings" on the
// code-mapping base URL with the app's identity and versions, the build
// configuration and the identifier/arch pairs the match gives, in order.
// The zip is sent only when the DWARF files the match names are unchanged
// once it is made (dSYMIsUnchanged); otherwise it is removed and the attempt
// fails. It is sent from its file and deleted when
// the exchange is over. Returns true for a status from 200 to 300; a failure
// is reported only on the final attempt. The build secret is never sent.
// Ends the run when the archiver is missing or fails, or the zip cannot be
// read.
bool uploadDSYM(const platform::Environment& environment, const DSYMMatch& match,
                const std::string& apiKey, const std::string& buildSecret, bool finalAttempt);

// The same for another dSYM bundle of DWARF_DSYM_FOLDER_PATH (a framework's
// or an extension's): the same headers and project fields, and the pairs of
// what its own check matched.
bool uploadOtherDSYM(const platform::Environment& environment, const std::string& dsymName,
                     const DSYMMatch& match, const std::string& apiKey, bool finalAttempt);
