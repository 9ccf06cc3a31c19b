#pragma once

#include <memory>
#include <string>

#include "driver/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"
#include "service/DSYMUpload.h"

// The code-mapping base URL of the environment and the key.
UploadService uploadService(const platform::Environment& environment, const std::string& apiKey);

// The upload of the app's dSYM (DWARF_DSYM_FOLDER_PATH/DWARF_DSYM_FILE_NAME):
// the identity and versions of the app's Info.plist, CONFIGURATION, the
// platform of PLATFORM_NAME, one pair per slice of the executable (none
// when it is absent), the DWARF files its check matched and the zip beside
// the bundle. A slice without UUID is reported and left out. Ends the run
// when the Info.plist cannot be read or PLATFORM_NAME is missing.
DSYMUploadDescription appUploadDescription(const platform::Environment& environment,
                                           const std::shared_ptr<QVXMachOBinary>& executable,
                                           const DSYMMatch& match);

// The same for another bundle of DWARF_DSYM_FOLDER_PATH (a framework's or
// an extension's), with the pairs and DWARF files its check matched.
DSYMUploadDescription otherUploadDescription(const platform::Environment& environment,
                                             const std::string& dsymName, const DSYMMatch& match);
