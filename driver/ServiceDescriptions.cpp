#include "driver/ServiceDescriptions.h"

#include "console/Console.h"
#include "driver/AppPlatform.h"
#include "driver/Validation.h"
#include "platform/files/Path.h"
#include "service/WebServiceInterface.h"

namespace {

// The Info.plist's value for the key; null (an absent value) when missing.
platform::Value infoValue(const platform::Value& info, const std::string& key) {
  auto found = info.find(key);
  return found == info.end() ? platform::Value() : *found;
}

// One pair per slice, in slice order. A slice without UUID or architecture
// is reported and left out.
std::vector<UUIDArchitecturePair> slicePairs(const std::shared_ptr<QVXMachOBinary>& binary) {
  std::vector<UUIDArchitecturePair> pairs;
  if (!binary) return pairs;
  binary->enumerateUUIDs(
      [&](const std::optional<std::string>& uuid, const std::string& architecture) {
        if (!uuid || architecture.empty()) {
          QVXLog("Unable to extract uuid-architecture pairs from binary %@", binary->path());
          return;
        }
        pairs.push_back({*uuid, architecture});
      });
  return pairs;
}

DSYMUploadDescription buildDescription(const platform::Environment& environment,
                                       const std::string& dsymName) {
  const platform::Value info = infoPlistDictionary(environment);
  DSYMUploadDescription description;
  description.dsymFolder = platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or("");
  description.dsymName = dsymName;
  description.identifier = infoValue(info, "CFBundleIdentifier");
  description.displayVersion = infoValue(info, "CFBundleVersion");
  description.buildVersion = infoValue(info, "CFBundleShortVersionString");
  if (auto configuration = platform::valueFor(environment, "CONFIGURATION"))
    description.configuration = *configuration;
  description.platformWord = getAppPlatform(environment);
  description.zipFolder = description.dsymFolder;
  return description;
}

}  // namespace

std::string apiBaseURL(const platform::Environment& environment) {
  return serviceBaseURL(platform::valueFor(environment, "QUORVEX_API_BASE_URL"),
                        kDefaultAPIBaseURL);
}

std::string codeMappingBaseURL(const platform::Environment& environment) {
  return serviceBaseURL(platform::valueFor(environment, "QUORVEX_CODE_MAPPING_BASE_URL"),
                        kCodeMappingBaseURL);
}

BuildNotificationDescription notificationDescription(const platform::Environment& environment) {
  const platform::Value info = infoPlistDictionary(environment);
  BuildNotificationDescription description;
  description.baseURL = apiBaseURL(environment);
  if (const std::string* identifier = platform::textForKey(info, "CFBundleIdentifier"))
    description.identifier = *identifier;
  description.appName = infoValue(info, "CFBundleDisplayName");
  description.platformWord = getAppPlatform(environment);
  return description;
}

UploadService uploadService(const platform::Environment& environment, const std::string& apiKey) {
  return UploadService{codeMappingBaseURL(environment), apiKey};
}

DSYMUploadDescription appUploadDescription(const platform::Environment& environment,
                                           const std::shared_ptr<QVXMachOBinary>& executable,
                                           const DSYMMatch& match) {
  DSYMUploadDescription description = buildDescription(
      environment, platform::valueFor(environment, "DWARF_DSYM_FILE_NAME").value_or(""));
  description.pairs = slicePairs(executable);
  description.matchedFiles = match.files;
  description.dwarfEntries = match.entries;
  return description;
}

DSYMUploadDescription otherUploadDescription(const platform::Environment& environment,
                                             const std::string& dsymName, const DSYMMatch& match) {
  DSYMUploadDescription description = buildDescription(environment, dsymName);
  description.pairs = match.pairs;
  description.matchedFiles = match.files;
  description.dwarfEntries = match.entries;
  return description;
}
