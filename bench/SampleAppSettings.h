#pragma once

// The build settings of a build-server run on the sample app of
// scripts/build-sample-app.sh, for the benchmarks.
#include <filesystem>
#include <map>
#include <string>

#include "bench/MeasuredRun.h"

namespace bench {

// Lays out the sample app's products in PRODUCTS with
// scripts/build-sample-app.sh; false when that fails.
inline bool buildSampleApp(const std::filesystem::path& products) {
  Environment path = {{"PATH", "/usr/bin:/bin"}};
  return measure({"/bin/sh", std::string(SOURCE_ROOT) + "/scripts/build-sample-app.sh", products},
                 &path, "")
             .status == 0;
}

// The settings for the sample app's products in PRODUCTS, the project
// folder PROJECT, a private home in WORK, and both service base URLs at BASEURL.
inline std::map<std::string, std::string> sampleAppSettings(const std::filesystem::path& products,
                                                            const std::filesystem::path& project,
                                                            const std::filesystem::path& work,
                                                            const std::string& baseURL) {
  return {{"BUILT_PRODUCTS_DIR", products},
          {"INFOPLIST_PATH", "App.app/Info.plist"},
          {"EXECUTABLE_PATH", "App.app/App"},
          {"WRAPPER_NAME", "App.app"},
          {"DWARF_DSYM_FOLDER_PATH", products},
          {"DWARF_DSYM_FILE_NAME", "App.app.dSYM"},
          {"SRCROOT", project},
          {"PLATFORM_NAME", "iphoneos"},
          {"CONFIGURATION", "Release"},
          {"TARGETED_DEVICE_FAMILY", "1"},
          {"IPHONEOS_DEPLOYMENT_TARGET", "9.0"},
          {"PATH", "/usr/bin:/bin"},
          {"HOME", work / "home"},
          {"XDG_CONFIG_HOME", work / "home/config"},
          {"XDG_DATA_HOME", work / "home/data"},
          {"XDG_DATA_DIRS", work / "home/system-data"},
          {"XDG_CACHE_HOME", work / "home/cache"},
          {"QUORVEX_API_BASE_URL", baseURL},
          {"QUORVEX_CODE_MAPPING_BASE_URL", baseURL}};
}

}  // namespace bench
