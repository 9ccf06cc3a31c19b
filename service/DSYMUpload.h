#pragma once

#include <memory>
#include <string>

#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"

// One upload attempt of the dSYM bundle: zips DWARF_DSYM_FOLDER_PATH/
// DWARF_DSYM_FILE_NAME next to itself with the framework's archiver under a new unique
// name, and POSTs it to "/api/v3/platforms/PLATFORM/code_mappings" on the
// code-mapping base URL with the app's identity and versions, the build
// configuration and one identifier/arch pair per slice of the executable
// (none when it is absent). The zip is sent from its file and deleted when
// the exchange is over. Returns true for a status from 200 to 300; a failure
// is reported only on the final attempt. The build secret is never sent.
// Ends the run when the archiver is missing or fails, or the zip cannot be
// read.
bool uploadDSYM(const platform::Environment& environment,
                const std::shared_ptr<QVXMachOBinary>& executable, const std::string& apiKey,
                const std::string& buildSecret, bool finalAttempt);

// The same for another dSYM bundle of DWARF_DSYM_FOLDER_PATH (a framework's
// or an extension's): the same headers and project fields, and one
// identifier/arch pair per slice of the bundle's own DWARF file.
bool uploadOtherDSYM(const platform::Environment& environment, const std::string& dsymName,
                     const std::string& apiKey, bool finalAttempt);
