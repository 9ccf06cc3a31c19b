#include "driver/BuildDescription.h"

#include "handoff/BuildCache.h"
#include "platform/MainBundle.h"
#include "platform/files/Path.h"
#include "platform/propertylists/PropertyList.h"

namespace {

platform::Value textList(const std::vector<std::string>& texts) {
  platform::Value list = platform::Value::array();
  for (const auto& text : texts) list.push_back(text);
  return list;
}

platform::Value environmentDictionary(const platform::Environment& environment) {
  platform::Value dictionary = platform::Value::object();
  for (const auto& [name, value] : environment) dictionary[name] = value;
  return dictionary;
}

std::optional<platform::Value> appInfoPlist(const platform::Environment& environment,
                                            const std::string& productsDirectory) {
  auto infoPlistPath = platform::valueFor(environment, "INFOPLIST_PATH");
  if (!infoPlistPath) return std::nullopt;
  return platform::dictionaryWithContentsOfFile(
      platform::appendPathComponent(productsDirectory, *infoPlistPath));
}

}  // namespace

void copyWhenPresent(platform::Value& description, const platform::Value& source,
                     std::initializer_list<const char*> keys) {
  if (!source.is_object()) return;
  for (const char* key : keys) {
    auto found = source.find(key);
    if (found != source.end()) description[key] = *found;
  }
}

void copyWhenPresent(platform::Value& description, const platform::Environment& source,
                     std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (auto value = platform::valueFor(source, key)) description[key] = *value;
  }
}

platform::Value buildDescription(const platform::Environment& environment,
                                 const std::string& apiKey, const std::string& productsDirectory,
                                 const std::string& buildDirectory) {
  platform::Value description = platform::Value::object();
  copyWhenPresent(description, environment,
                  {"PLATFORM_NAME", "PROJECT_FILE_PATH", "CONFIGURATION", "XCODE_VERSION_ACTUAL",
                   "CODE_SIGN_IDENTITY", "SDKROOT"});
  description["QUORVEX_FRAMEWORK_PATH"] = platform::mainBundlePath();
  description["QUORVEX_API_KEY"] = apiKey;
  description["QUORVEX_RUN_VERSION"] = platform::toolBundleVersion();
  copyWhenPresent(description, environment, {"PROVISIONING_PROFILE"});
  description["dSYMs"] = textList(cacheDSYMsAtPath(productsDirectory, buildDirectory));
  copyWhenPresent(description, appInfoPlist(environment, productsDirectory).value_or(nullptr),
                  {"CFBundleShortVersionString", "CFBundleVersion", "CFBundleDisplayName",
                   "CFBundleName", "CFBundleIdentifier"});
  description["Runner_Environment_Dictionary"] = environmentDictionary(environment);
  return description;
}

std::string buildPlistPath(const std::string& buildDirectory) {
  return platform::appendPathComponent(buildDirectory, "Build.plist");
}

bool writeBuildPlist(const platform::Value& description, const std::string& buildDirectory) {
  return platform::writePropertyListAtomically(description, buildPlistPath(buildDirectory));
}
