#include "driver/AppPlatform.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "console/Console.h"

namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string getAppPlatform(const platform::Environment& environment) {
  auto name = platform::valueFor(environment, "PLATFORM_NAME");
  if (!name || name->empty()) {
    QVXLog("Failure determining project platform.");
    exit(1);
  }
  const std::string platformName = lowercased(*name);
  if (platformName == "macosx") return "mac";
  if (platformName == "iphoneos" || platformName == "iphonesimulator") return "ios";
  return "unknown";
}
