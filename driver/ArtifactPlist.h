#pragma once

#include <optional>
#include <string>

#include "platform/Environment.h"

// Where the artifact plist goes when QUORVEX_CREATE_ARTIFACT is boolean-true
// (an absent variable is false): QUORVEX_ARTIFACT_PATH when present, even
// empty, else "quorvex.plist" in BUILT_PRODUCTS_DIR. Nothing when not asked for.
std::optional<std::string> artifactPlistPath(const platform::Environment& environment);

// Writes {"QuorvexAPIKey": apiKey} there atomically as an XML property list
// when asked for. A failed write logs "Failed to write data to artifact path"
// with the path and the run goes on.
void writeArtifactPlistIfRequested(const platform::Environment& environment,
                                   const std::string& apiKey);
