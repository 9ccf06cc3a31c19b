#include "driver/Validation.h"

#include <optional>

#include "console/Console.h"
#include "platform/files/Path.h"
#include "platform/files/SymbolicLinks.h"
#include "platform/propertylists/PropertyList.h"

namespace {

const char* const kEnvironmentTitle = "Failed to Detect Build Environment";
const char* const kInfoPlistTitle = "Info.plist Error";
const char* const kInfoPlistReason =
    "Unable to process Info.plist at path %@\nThis could be a timing issue, make sure the "
    "Brantle run script build phase is the last build phase and no other scripts have moved %@ "
    "from the location Xcode generated it.";
const char* const kIdentifierTitle = "Required Info.plist Value Not Found";
const char* const kIdentifierReason =
    "A CFBundleIdentifier value in your Info.plist is required. Please confirm this value is "
    "present in %@ \n\n";
const char* const kDSYMTitle = "dSYM Error";
const char* const kDSYMReason =
    "Unable to process %@ at path %@\nMake sure your project build settings are generating a "
    "dSYM file. DEBUG_INFORMATION_FORMAT should be set to dwarf-with-dsym for all "
    "configurations. This could also be a timing issue, make sure the Brantle run script build "
    "phase is the last build phase and no other scripts have moved the dSYM from the location "
    "Xcode generated it.\n\n";
const char* const kLoadTitle = "Failed to Load File";
const char* const kLoadReason = "Could not load Info.plist contents at path %@";
const char* const kTargetPhaseTitle = "Use a Target Run Script Build Phase";
const char* const kTargetPhaseReason =
    "Make sure the Brantle command is added to your project Target and not the scheme "
    "'Post-actions'.\n\nThen, Build your project to continue.\n\n(Quorvex error 602)";

// The value of a build setting this check needs; stops the run when it is
// absent or empty.
std::string requiredSetting(const platform::Environment& environment, const std::string& name) {
  auto value = platform::valueFor(environment, name);
  if (!value || value->empty())
    failWithTitleAndReason(kEnvironmentTitle,
                           platform::format("%@ value not found in environment", name));
  return *value;
}

// Two paths are the same only when both exist and their texts are equal.
bool samePath(const std::optional<std::string>& first, const std::optional<std::string>& second) {
  return first && second && *first == *second;
}

std::optional<std::string> resolved(const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  return platform::resolvingSymlinksInPath(*path);
}

}  // namespace

void verifyEnvironmentIsValid(const platform::Environment& environment) {
  const std::string productsDirectory = requiredSetting(environment, "BUILT_PRODUCTS_DIR");
  const std::string infoPlistPath = requiredSetting(environment, "INFOPLIST_PATH");
  const std::string dsymFileName = requiredSetting(environment, "DWARF_DSYM_FILE_NAME");
  const std::string dsymFolderPath = requiredSetting(environment, "DWARF_DSYM_FOLDER_PATH");

  const std::string infoPlist = platform::joinWithSlash(productsDirectory, infoPlistPath);
  if (!platform::fileExists(infoPlist)) {
    auto wrapperName = platform::valueFor(environment, "WRAPPER_NAME");
    failWithTitleAndReason(kInfoPlistTitle,
                           platform::format(kInfoPlistReason, infoPlist, wrapperName));
  }
  verifyInfoPlistValuesAtPath(infoPlist);

  const std::string dsymPath = platform::joinWithSlash(dsymFolderPath, dsymFileName);
  if (!platform::fileExists(dsymPath))
    failWithTitleAndReason(kDSYMTitle, platform::format(kDSYMReason, dsymFileName, dsymPath));
}

void verifyInfoPlistValuesAtPath(const std::string& infoPlistPath) {
  auto info = platform::dictionaryWithContentsOfFile(infoPlistPath);
  const std::string* identifier =
      info ? platform::textForKey(*info, "CFBundleIdentifier") : nullptr;
  if (!identifier || identifier->empty())
    failWithTitleAndReason(kIdentifierTitle, platform::format(kIdentifierReason, infoPlistPath));
}

platform::Value infoPlistDictionary(const platform::Environment& environment) {
  const std::string path =
      platform::format("%@/%@", platform::valueFor(environment, "BUILT_PRODUCTS_DIR"),
                       platform::valueFor(environment, "INFOPLIST_PATH"));
  auto info = platform::dictionaryWithContentsOfFile(path);
  if (!info) failWithTitleAndReason(kLoadTitle, platform::format(kLoadReason, path));
  return *info;
}

void computePathToFramework(const platform::Environment& environment) {
  const auto sourceRoot = platform::valueFor(environment, "SRCROOT");
  const auto workingDirectory = platform::currentDirectoryPath();
  if (debugMode) {
    QVXLog("Src root %@", sourceRoot);
    QVXLog("Current directory path %@", workingDirectory);
  }
  if (samePath(sourceRoot, workingDirectory)) return;

  const auto resolvedWorkingDirectory = resolved(workingDirectory);
  if (debugMode) QVXLog("Current directory path resolved %@", resolvedWorkingDirectory);
  if (samePath(sourceRoot, resolvedWorkingDirectory)) return;

  const auto resolvedSourceRoot = resolved(sourceRoot);
  if (debugMode) QVXLog("Src root resolved %@", resolvedSourceRoot);
  if (samePath(resolvedSourceRoot, resolvedWorkingDirectory)) return;

  failWithTitleAndReason(kTargetPhaseTitle, kTargetPhaseReason);
}
