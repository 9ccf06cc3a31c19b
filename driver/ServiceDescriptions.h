#pragma once

#include <memory>
#include <string>

#include "dsymcheck/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"
#include "platform/Environment.h"
#include "service/BuildNotification.h"
#include "service/DSYMUpload.h"

// What the build phase tells the service, made from its build settings:
// nothing below the entries reads them.

// The base of the build notification: QUORVEX_API_BASE_URL when the
// environment has a non-empty one, else the default API base URL. The
// service endpoint text and the build cache do not follow it.
std::string apiBaseURL(const platform::Environment& environment);

// The base of the dSYM upload: QUORVEX_CODE_MAPPING_BASE_URL when the
// environment has a non-empty one, else the code-mapping base URL.
std::string codeMappingBaseURL(const platform::Environment& environment);

// The code-mapping base URL of the environment and the key.
UploadService uploadService(const platform::Environment& environment, const std::string& apiKey);

// The build notification: the Info.plist's identifier and display name, the
// platform of PLATFORM_NAME and the API base URL. Ends the run when the
// Info.plist cannot be read or PLATFORM_NAME is missing.
BuildNotificationDescription notificationDescription(const platform::Environment& environment);

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
