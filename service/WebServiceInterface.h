#pragma once

#include "platform/Environment.h"

#include <string>

// The web service's hosts, compiled in. QUORVEX_API_BASE_URL and
// QUORVEX_CODE_MAPPING_BASE_URL in the environment replace them for the two
// service requests (self-hosted services and tests).
inline constexpr const char* kDefaultAPIBaseURL = "https://api.quorvex.com";
inline constexpr const char* kCodeMappingBaseURL = "https://code-mapping.quorvex.com";
