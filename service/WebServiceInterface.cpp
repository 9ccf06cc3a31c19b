#include "service/WebServiceInterface.h"

#include "platform/Format.h"
#include "platform/MainBundle.h"

std::string serviceBaseURL(const std::optional<std::string>& setting, const char* fallback) {
  return setting && !setting->empty() ? *setting : fallback;
}

std::string clientDisplayVersion() { return platform::toolShortVersion(); }

std::string clientBuildVersion() { return platform::toolBundleVersion(); }

std::string clientUserAgent() { return platform::format("run/%@", clientDisplayVersion()); }
