#pragma once

#include <string>

#include "platform/Environment.h"

// Tells the web service that a build of the app exists: one POST to
// "/spi/v1/platforms/PLATFORM/apps/BUNDLE_ID/built" on the API base URL,
// with the identity headers (the build secret only when not empty) and the
// form fields "app_name" and "tool_details". Returns true for status 200 or
// 201; any other status is reported ("Could not be onboarded statusCode")
// and not retried. Ends the run when the Info.plist or PLATFORM_NAME is
// missing.
bool buildConfigure(const platform::Environment& environment, const std::string& apiKey,
                    const std::string& buildSecret);
