#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.h"
#include "service/DSYMUpload.h"
#include "uploader/Options.h"

// The app's identity as an archive's Info.plist gives it
// (ApplicationProperties); null values where it has none.
struct AppIdentity {
  platform::Value identifier;    // CFBundleIdentifier
  platform::Value shortVersion;  // CFBundleShortVersionString
  platform::Value build;         // CFBundleVersion
};

// What a dSYM says of itself: its Info.plist's versions and the platform
// of its DWARF file's slices (LC_BUILD_VERSION numbering).
struct DSYMFacts {
  platform::Value shortVersion;
  platform::Value build;
  std::optional<std::uint32_t> buildPlatform;
};

// The project fields and platform word of one upload: each from the
// options, else from the archive (identifier and versions), else from the
// dSYM itself (versions and platform). A value counts when it is a text
// that is not empty or a number, which goes out as its text; anything else
// falls through to the next source. Fills the description's identifier,
// versions (texts, or null when no source has one), configuration and
// platform word.
void resolveIdentity(const UploadOptions& options, const AppIdentity* archive,
                     const DSYMFacts& dsym, DSYMUploadDescription& description);

// The platform word of a Mach-O platform: iOS and its simulator "ios",
// macOS and Mac Catalyst "mac", anything else (or none) "unknown".
std::string platformWordOf(std::optional<std::uint32_t> buildPlatform);

// What makes two uploads the same: the app they are sent for (identifier and
// versions) and their UUID/architecture pairs as a set. A framework that two
// apps embed goes to each.
std::string dedupKey(const DSYMUploadDescription& description);
