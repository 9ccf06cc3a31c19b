#include "handoff/MacAppHandoff.h"

#include <cstdlib>

#include "console/Console.h"
#include "platform/MainBundle.h"
#include "platform/desktop/URLOpener.h"
#include "platform/urlloading/PercentEscape.h"

namespace {

const char* const kSignUpMessage =
    "This app relies on Brantle. Please sign up for access at %@,\ninstall Brantle.app then ask "
    "a team member to invite you to this app's organization.\n\nIf this machine is a build "
    "server please remove Brantle.app if present and use xcodebuild so that %@ is uploaded.\n";

// The ten build settings of the inline form, in URL order.
const char* const kInlineSettingNames[] = {
    "BUILT_PRODUCTS_DIR",   "PRODUCT_NAME",  "WRAPPER_NAME",      "DWARF_DSYM_FOLDER_PATH",
    "DWARF_DSYM_FILE_NAME", "PLATFORM_NAME", "PROJECT_FILE_PATH", "INFOPLIST_PATH",
    "CONFIGURATION",        "SDKROOT"};

std::string settingValue(const platform::Environment& environment, const char* name) {
  return platform::valueFor(environment, name).value_or("");
}

void appendInlineSettings(std::string& url, const platform::Environment& environment,
                          const std::string& apiKey) {
  bool first = true;
  for (const char* name : kInlineSettingNames) {
    url += platform::format(first ? "%@=%@" : "&%@=%@", name,
                            urlEncode(settingValue(environment, name)));
    first = false;
  }
  url +=
      platform::format("&%@=%@", "QUORVEX_FRAMEWORK_PATH", urlEncode(platform::mainBundlePath()));
  url += platform::format("&%@=%@", "QUORVEX_API_KEY", urlEncode(apiKey));
  url +=
      platform::format("&%@=%@", "QUORVEX_RUN_VERSION", urlEncode(platform::toolBundleVersion()));
  // The Xcode version goes as it stands; it is digits in practice.
  if (auto version = platform::valueFor(environment, "XCODE_VERSION_ACTUAL"))
    url += platform::format("&%@=%@", "XCODE_VERSION_ACTUAL", *version);
  if (auto searchPaths = platform::valueFor(environment, "FRAMEWORK_SEARCH_PATHS"))
    url += platform::format("&%@=%@", "FRAMEWORK_SEARCH_PATHS", urlEncode(*searchPaths));
}

[[noreturn]] void offerSignUpAndFail(const platform::Environment& environment) {
  if (!platform::isValidURL(kSignUpURL)) {
    QVXLog("Failed to build URL %@", kSignUpURL);
  } else {
    // Without a default browser the page is not shown; the message says it all.
    platform::openURLWithDefaultApplication(kSignUpURL);
    QVXLog(kSignUpMessage, kSignUpURL, platform::valueFor(environment, "DWARF_DSYM_FILE_NAME"));
  }
  std::exit(1);
}

}  // namespace

// The two escaping passes of the platform come to the query-escaping rule.
std::string urlEncode(const std::string& text) { return platform::percentEscapeQueryText(text); }

std::string macAppURLText(const std::optional<std::string>& buildPlistPath,
                          const platform::Environment& environment, const std::string& apiKey,
                          bool inlineSettings) {
  std::string url = "quorvex://xcode?";
  if (inlineSettings) {
    appendInlineSettings(url, environment, apiKey);
  } else {
    url += platform::format("%@=%@", "QUORVEX_BUILD_PLIST_PATH",
                            urlEncode(buildPlistPath.value_or("")));
  }
  return url;
}

void sendDataToMacApp(const std::optional<std::string>& buildPlistPath,
                      const platform::Environment& environment, const std::string& apiKey,
                      bool inlineSettings) {
  if (debugMode) QVXLog("Sending data to Brantle.app");
  std::string url = macAppURLText(buildPlistPath, environment, apiKey, inlineSettings);
  if (!platform::openURLWithDefaultApplication(url)) offerSignUpAndFail(environment);
}
