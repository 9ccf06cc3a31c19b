#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

// What the build notification says, resolved by the entry that sends it
// (the build phase, from its build settings and the app's Info.plist).
struct BuildNotificationDescription {
  std::optional<std::string> identifier;  // the app's bundle identifier, for the path
  platform::Value appName;                // "app_name"; null sends no part
  std::string platformWord;               // "ios", "mac" or "unknown", for the path
  std::string baseURL;                    // the API base URL
};

// Tells the web service that a build of the app exists: one POST to
// "/spi/v1/platforms/PLATFORM/apps/BUNDLE_ID/built" on the description's
// base URL, with the identity headers (the build secret only when not
// empty) and the form fields "app_name" and "tool_details". Returns true
// for status 200 or 201; any other status is reported ("Could not be
// onboarded statusCode") and not retried.
bool buildConfigure(const BuildNotificationDescription& description, const std::string& apiKey,
                    const std::string& buildSecret);
