#pragma once

#include <string>

#include "platform/Environment.h"

// The web service's hosts, compiled in. QUORVEX_API_BASE_URL and
// QUORVEX_CODE_MAPPING_BASE_URL in the environment replace them for the two
// service requests (self-hosted services and tests).
inline constexpr const char* kDefaultAPIBaseURL = "https://api.quorvex.com";
inline constexpr const char* kCodeMappingBaseURL = "https://code-mapping.quorvex.com";

// The developer token every service request carries.
inline constexpr const char* kDeveloperToken = "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed";
// The client identifier every service request carries.
inline constexpr const char* kClientIdentifier = "com.quorvex.run";

// The base of the build notification: QUORVEX_API_BASE_URL when the
// environment has a non-empty one, else the default API base URL. The
// service endpoint text and the build cache do not follow it.
std::string apiBaseURL(const platform::Environment& environment);

// The base of the dSYM upload: QUORVEX_CODE_MAPPING_BASE_URL when the
// environment has a non-empty one, else the code-mapping base URL.
std::string codeMappingBaseURL(const platform::Environment& environment);

// The tool display version ("CFBundleShortVersionString" of the tool).
std::string clientDisplayVersion();
// The tool build number ("CFBundleVersion" of the tool).
std::string clientBuildVersion();
// The User-Agent value, "run/" and the tool display version.
std::string clientUserAgent();
