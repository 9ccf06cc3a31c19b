#include "driver/ArtifactPlist.h"

#include "console/Console.h"
#include "platform/BooleanValue.h"
#include "platform/files/Path.h"
#include "platform/propertylists/PropertyList.h"

std::optional<std::string> artifactPlistPath(const platform::Environment& environment) {
  auto create = platform::valueFor(environment, "QUORVEX_CREATE_ARTIFACT");
  if (!create || !platform::isBooleanTrue(std::string_view(*create))) return std::nullopt;
  if (auto path = platform::valueFor(environment, "QUORVEX_ARTIFACT_PATH")) return path;
  return platform::appendPathComponent(
      platform::valueFor(environment, "BUILT_PRODUCTS_DIR").value_or(""), "quorvex.plist");
}

void writeArtifactPlistIfRequested(const platform::Environment& environment,
                                   const std::string& apiKey) {
  auto path = artifactPlistPath(environment);
  if (!path) return;
  const platform::Value artifact = {{"QuorvexAPIKey", apiKey}};
  if (!platform::writePropertyListAtomically(artifact, *path))
    QVXLog("Failed to write data to artifact path %@\n\n", *path);
}
