#include "uploader/Identity.h"

#include <algorithm>

#include "macho/MachOFormat.h"

namespace {

// The option's text when given, else the first non-null fallback (null
// when there is none).
platform::Value firstOf(const std::optional<std::string>& option,
                        std::initializer_list<const platform::Value*> fallbacks) {
  if (option) return *option;
  for (const platform::Value* value : fallbacks)
    if (value && !value->is_null()) return *value;
  return platform::Value();
}

}  // namespace

std::string platformWordOf(std::optional<std::uint32_t> buildPlatform) {
  using namespace machofile;
  if (!buildPlatform) return "unknown";
  switch (*buildPlatform) {
    case PLATFORM_IOS:
    case PLATFORM_IOSSIMULATOR:
      return "ios";
    case PLATFORM_MACOS:
    case PLATFORM_MACCATALYST:
      return "mac";
    default:
      return "unknown";
  }
}

void resolveIdentity(const UploadOptions& options, const AppIdentity* archive,
                     const DSYMFacts& dsym, DSYMUploadDescription& description) {
  description.identifier = firstOf(options.appId, {archive ? &archive->identifier : nullptr});
  // The build number goes out as the display version and the short version
  // string as the build version, as the build phase sends them.
  description.displayVersion =
      firstOf(options.appBuild, {archive ? &archive->build : nullptr, &dsym.build});
  description.buildVersion =
      firstOf(options.appVersion, {archive ? &archive->shortVersion : nullptr, &dsym.shortVersion});
  description.configuration = options.configuration;
  description.platformWord =
      options.platformWord ? *options.platformWord : platformWordOf(dsym.buildPlatform);
}

std::vector<UUIDArchitecturePair> dedupKey(std::vector<UUIDArchitecturePair> pairs) {
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  return pairs;
}
