#include "driver/InteractiveMode.h"

#include <cstdlib>

#include "console/Console.h"
#include "driver/BuildDescription.h"
#include "driver/HostDetection.h"
#include "handoff/BuildCache.h"
#include "handoff/MacAppHandoff.h"
#include "platform/Log.h"
#include "platform/RandomUUID.h"
#include "platform/files/DirectoryCreation.h"
#include "platform/files/Path.h"

namespace {

// The cache root joined with a fresh upper-case UUID, created with its
// parents; a directory that cannot be made ends the run.
std::string makeBuildDirectory(const std::string& endpointText) {
  std::string directory =
      platform::appendPathComponent(cacheDirectory(endpointText), platform::newUUIDString());
  if (auto error = platform::createDirectoryWithIntermediates(directory)) {
    platform::NSLog("Unable to create directory at path %@ \n%@", directory, *error);
    std::exit(1);
  }
  return directory;
}

// Writes Build.plist and names it in the hand-off. A Build.plist that cannot
// be written is reported, and the settings then travel in the URL instead,
// so that the desktop app is never pointed at a file that is not there.
void handOverBuildPlist(const platform::Value& description, const std::string& buildDirectory,
                        const platform::Environment& environment, const std::string& apiKey) {
  if (writeBuildPlist(description, buildDirectory)) {
    sendDataToMacApp(buildPlistPath(buildDirectory), environment, apiKey, false);
    return;
  }
  QVXLog("Failed to write data to build description path %@\n\n", buildPlistPath(buildDirectory));
  sendDataToMacApp(std::nullopt, environment, apiKey, true);
}

}  // namespace

int runInteractiveMode(const platform::Environment& environment, const std::string& apiKey,
                       const std::string& endpointText) {
  const std::string buildDirectory = makeBuildDirectory(endpointText);
  const std::string productsDirectory =
      platform::valueFor(environment, "BUILT_PRODUCTS_DIR").value_or("");
  const platform::Value description =
      buildDescription(environment, apiKey, productsDirectory, buildDirectory);
  if (isQuorvexBuildPlistCompatible()) {
    handOverBuildPlist(description, buildDirectory, environment, apiKey);
  } else {
    sendDataToMacApp(std::nullopt, environment, apiKey, true);
  }
  return 0;
}
