#include "uploader/Identity.h"

#include <algorithm>

#include "macho/MachOFormat.h"
#include "platform/Format.h"

namespace {

// The text a form part would carry for the value: a text that is not
// empty, or a number's text; nothing for any other value.
std::optional<std::string> formText(const platform::Value& value) {
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
  }
  if (value.is_number()) return platform::format("%@", value);
  return std::nullopt;
}

// The option's text when given, else the first fallback with a form text
// (null when there is none).
platform::Value firstOf(const std::optional<std::string>& option,
                        std::initializer_list<const platform::Value*> fallbacks) {
  if (option) return *option;
  for (const platform::Value* value : fallbacks)
    if (value)
      if (auto text = formText(*value)) return *text;
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

std::string dedupKey(const DSYMUploadDescription& description) {
  std::vector<UUIDArchitecturePair> pairs = description.pairs;
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  std::string key;
  for (const platform::Value* value :
       {&description.identifier, &description.displayVersion, &description.buildVersion}) {
    if (value->is_string())
      key.append("=").append(value->get<std::string>());
    else
      key.append("-");
    key.push_back('\0');
  }
  for (const auto& pair : pairs) key += pair.uuid + " " + pair.architecture + "\n";
  return key;
}
