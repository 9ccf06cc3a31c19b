#include "service/WebServiceInterface.h"

#include "platform/Format.h"
#include "platform/MainBundle.h"

namespace {

std::string overridden(const platform::Environment& environment, const char* name,
                       const char* fallback) {
  auto value = platform::valueFor(environment, name);
  return value && !value->empty() ? *value : fallback;
}

}  // namespace

std::string apiBaseURL(const platform::Environment& environment) {
  return overridden(environment, "QUORVEX_API_BASE_URL", kDefaultAPIBaseURL);
}

std::string codeMappingBaseURL(const platform::Environment& environment) {
  return overridden(environment, "QUORVEX_CODE_MAPPING_BASE_URL", kCodeMappingBaseURL);
}

std::string clientDisplayVersion() { return platform::toolShortVersion(); }

std::string clientBuildVersion() { return platform::toolBundleVersion(); }

std::string clientUserAgent() { return platform::format("run/%@", clientDisplayVersion()); }
