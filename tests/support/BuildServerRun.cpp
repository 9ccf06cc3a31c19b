#include "tests/support/BuildServerRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/DesktopApp.h"
#include "tests/support/MachOFixtures.h"

namespace testsupport {

namespace fs = std::filesystem;

std::vector<std::string> zipsIn(const std::string& folder) {
  std::vector<std::string> zips;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".zip") zips.push_back(entry.path().filename());
  }
  return zips;
}

std::vector<std::pair<std::string, std::string>> fieldsOf(const platform::Value& record) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& field : record["fields"]) {
    fields.emplace_back(field["name"],
                        field.contains("filename") ? field["filename"] : field["value"]);
  }
  return fields;
}

std::string uploadedPairs(const platform::Value& record) {
  std::string lines;
  for (const auto& [name, value] : fieldsOf(record)) {
    if (name == "code_mapping[executables][][identifier]") lines += "UUID:" + value;
    if (name == "code_mapping[executables][][arch]") lines += " Slice:" + value + "\n";
  }
  return lines;
}

namespace {

std::vector<std::string> sortedListing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void BuildServerRunTest::SetUp() {
  copySampleProductsTo(products);
  makeDirectories(root / "project");
  rememberProductsFolder();
}

void BuildServerRunTest::rememberProductsFolder() { productsListing_ = sortedListing(products); }

Settings BuildServerRunTest::buildSettings(const std::string& baseURL) const {
  Settings settings = privateXDGEnvironment(root / "home");
  Settings build = {
      {"BUILT_PRODUCTS_DIR", products},      {"INFOPLIST_PATH", "App.app/Info.plist"},
      {"EXECUTABLE_PATH", "App.app/App"},    {"WRAPPER_NAME", "App.app"},
      {"DWARF_DSYM_FOLDER_PATH", products},  {"DWARF_DSYM_FILE_NAME", "App.app.dSYM"},
      {"SRCROOT", root / "project"},         {"PLATFORM_NAME", "iphoneos"},
      {"CONFIGURATION", "Release"},          {"TARGETED_DEVICE_FAMILY", "1"},
      {"IPHONEOS_DEPLOYMENT_TARGET", "9.0"}, {"PATH", "/usr/bin:/bin"},
      {"QUORVEX_API_BASE_URL", baseURL},     {"QUORVEX_CODE_MAPPING_BASE_URL", baseURL}};
  settings.insert(build.begin(), build.end());
  return settings;
}

ProcessResult BuildServerRunTest::runUnderBotsDaemon(const Settings& settings,
                                                     const std::vector<std::string>& arguments,
                                                     const std::vector<std::string>& wrapper,
                                                     const std::string& run) const {
  std::vector<std::string> argv = wrapper;
  argv.insert(argv.end(), {testProgramsDir() + "/named_parent", "xcsbuildd", run, kBuildServerKey});
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv, settings, root / "project");
}

std::unique_ptr<ProcessGroup> BuildServerRunTest::startUnderBotsDaemon(
    const Settings& settings, const std::string& log,
    const std::vector<std::string>& wrapper) const {
  std::vector<std::string> argv = wrapper;
  argv.insert(argv.end(), {testProgramsDir() + "/named_parent", "xcsbuildd", runExecutable(),
                           kBuildServerKey, kBuildServerSecret});
  return std::make_unique<ProcessGroup>(argv, settings, root / "project", log);
}

std::string summaryOf(const std::string& binary) {
  std::string summary;
  for (const auto& pair : dwarfdumpUUIDs(binary))
    summary += "UUID:" + pair.uuid + " Slice:" + pair.architecture + "\n";
  return summary;
}

void BuildServerRunTest::expectNoZipBesideTheDSYM() const {
  EXPECT_EQ(zipsIn(products), std::vector<std::string>{});
  EXPECT_EQ(sortedListing(products), productsListing_);
}

}  // namespace testsupport
