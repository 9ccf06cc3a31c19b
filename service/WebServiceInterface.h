#pragma once

#include <optional>
#include <string>

// The web service's hosts, compiled in. The entries may replace them (a
// self-hosted service, the tests): see serviceBaseURL.
inline constexpr const char* kDefaultAPIBaseURL = "https://api.quorvex.com";
inline constexpr const char* kCodeMappingBaseURL = "https://code-mapping.quorvex.com";

// The developer token every service request carries.
inline constexpr const char* kDeveloperToken = "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed";
// The client identifier every service request carries.
inline constexpr const char* kClientIdentifier = "com.quorvex.run";

// A base URL: the setting when it is given and not empty, else the
// compiled-in fallback.
std::string serviceBaseURL(const std::optional<std::string>& setting, const char* fallback);

// The tool display version ("CFBundleShortVersionString" of the tool).
std::string clientDisplayVersion();
// The tool build number ("CFBundleVersion" of the tool).
std::string clientBuildVersion();
// The User-Agent value, "run/" and the tool display version.
std::string clientUserAgent();
