#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/Browser.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/SampleApp.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::countOf;
using testsupport::ProcessResult;
using Settings = std::map<std::string, std::string>;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";
const std::string kDefaultEndpoint = "https://api.quorvex.com";

// The MD5 hex digest of a text, as md5sum computes it.
std::string md5sum(const std::string& text) {
  auto result = testsupport::runProcess({"/bin/sh", "-c", "printf %s \"$1\" | md5sum", "sh", text},
                                        {{"PATH", "/usr/bin:/bin"}});
  return result.out.substr(0, 32);
}

// Query escaping for the texts these tests use: paths of letters, digits,
// "-", "_", ".", " " and "/"; only "/" and " " need escaping.
std::string escapedPath(const std::string& path) {
  EXPECT_TRUE(std::regex_match(path, std::regex("[A-Za-z0-9/_. -]*"))) << path;
  return std::regex_replace(std::regex_replace(path, std::regex("/"), "%2F"), std::regex(" "),
                            "%20");
}

std::string frameworkDirectory() { return fs::path(testsupport::runExecutable()).parent_path(); }

// The file names of a folder, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Whether the copy has every file, folder and link of the source, with the
// same contents and link targets, owner-only permissions, and nothing else.
void expectSameTree(const std::string& source, const std::string& copy) {
  size_t sourceCount = 0, copyCount = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    ++sourceCount;
    fs::path twin = copy / entry.path().lexically_relative(source);
    auto status = fs::symlink_status(entry.path());
    auto twinStatus = fs::symlink_status(twin);
    ASSERT_EQ(status.type(), twinStatus.type()) << twin;
    if (!fs::is_symlink(status)) {  // the cache is the owner's alone
      EXPECT_EQ(twinStatus.permissions(), fs::is_directory(status)
                                              ? fs::perms::owner_all
                                              : fs::perms::owner_read | fs::perms::owner_write)
          << twin;
    }
    if (fs::is_symlink(status)) {
      EXPECT_EQ(fs::read_symlink(entry.path()), fs::read_symlink(twin)) << twin;
    } else if (fs::is_regular_file(status)) {
      EXPECT_TRUE(testsupport::readFile(entry.path()) == testsupport::readFile(twin)) << twin;
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(copy)) {
    (void)entry;
    ++copyCount;
  }
  EXPECT_EQ(sourceCount, copyCount);
  EXPECT_GT(sourceCount, 0u);
}

// A property-list dictionary without key order, for comparing.
nlohmann::json unordered(const platform::Value& value) {
  return nlohmann::json::parse(value.dump());
}

// Makes nested folders under base until the path is exactly `length` bytes.
std::string folderOfPathLength(const std::string& base, size_t length) {
  std::string path = base;
  while (path.size() < length) {
    size_t step = std::min<size_t>(200, length - path.size() - 1);
    if (length - path.size() - 1 - step == 1) --step;  // never leave a one-byte gap
    path += '/';
    path.append(step, 'd');
  }
  fs::create_directories(path);
  return path;
}

}  // namespace

// Runs the built tool on a sample app laid out by scripts/build-sample-app.sh
// (real Mach-O executable and dSYM), with the desktop-app stand-in
// registered in the test's own XDG folders, or with no handler at all.
class InteractiveTest : public testsupport::SampleAppTest {
 protected:
  void SetUp() override {
    copySampleProductsTo(products);
    testsupport::makeDirectories(root / "project");
  }

  // The build settings of the sample app on top of the given XDG variables.
  Settings buildSettings(Settings environment) const {
    Settings settings = {{"BUILT_PRODUCTS_DIR", products},
                         {"INFOPLIST_PATH", "App.app/Info.plist"},
                         {"EXECUTABLE_PATH", "App.app/App"},
                         {"WRAPPER_NAME", "App.app"},
                         {"PRODUCT_NAME", "App"},
                         {"DWARF_DSYM_FOLDER_PATH", products},
                         {"DWARF_DSYM_FILE_NAME", "App.app.dSYM"},
                         {"SRCROOT", root / "project"},
                         {"PLATFORM_NAME", "iphoneos"},
                         {"PROJECT_FILE_PATH", "/p/App.xcodeproj"},
                         {"CONFIGURATION", "Release"},
                         {"SDKROOT", "/sdk"},
                         {"TARGETED_DEVICE_FAMILY", "1"},
                         {"IPHONEOS_DEPLOYMENT_TARGET", "9.0"},
                         {"QUORVEX_API_BASE_URL", "http://127.0.0.1:1"},
                         {"QUORVEX_CODE_MAPPING_BASE_URL", "http://127.0.0.1:1"}};
    environment.insert(settings.begin(), settings.end());
    return environment;
  }

  // Runs `run KEY [extra...]` in the project folder, below a parent named
  // Xcode when asked.
  ProcessResult runTool(const Settings& environment, bool underXcode = false,
                        const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> arguments;
    if (underXcode) arguments = {testsupport::testProgramsDir() + "/named_parent", "Xcode"};
    arguments.insert(arguments.end(), {testsupport::runExecutable(), kKey});
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return testsupport::runProcess(arguments, environment, root / "project");
  }

  // The cache root of an endpoint for the caches folder of the environment.
  static std::string cacheRoot(const Settings& environment, const std::string& endpointText) {
    return environment.at("XDG_CACHE_HOME") + "/com.quorvex.mac/" + md5sum(endpointText) +
           "/builds";
  }

  // The one build directory under a cache root.
  static std::string onlyBuildDirectory(const std::string& cacheRootPath) {
    auto names = namesIn(cacheRootPath);
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? "" : cacheRootPath + "/" + names.front();
  }

  // Adds bundles beside App.app.dSYM: one more that is copied, and one whose
  // extension differs in case, which is not.
  void addMoreBundles() const {
    fs::copy(products + "/App.app.dSYM", products + "/Widget.appex.dSYM",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::create_directory_symlink("Resources", products + "/Widget.appex.dSYM/Contents/Current");
    testsupport::writeFile(products + "/App.DSYM/Contents/Info.plist", "<plist/>");
  }

  testsupport::TempDir root;
  std::string products = root / "products";

 private:
};

TEST_F(InteractiveTest, NewDesktopAppGetsBuildPlistInANewBuildFolder) {
  testsupport::DesktopApp app(root.path(), "203");
  addMoreBundles();
  Settings environment = buildSettings(app.environment());
  environment["XCODE_VERSION_ACTUAL"] = "1430";
  environment["CODE_SIGN_IDENTITY"] = "";
  auto result = runTool(environment);
  ASSERT_EQ(result.status, 0) << result.err;

  // Levels 1 to 5: caches folder, com.quorvex.mac, digest, builds, UUID.
  EXPECT_EQ(namesIn(environment["XDG_CACHE_HOME"] + "/com.quorvex.mac"),
            std::vector<std::string>{md5sum(kDefaultEndpoint)});
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  EXPECT_TRUE(
      std::regex_match(fs::path(buildDirectory).filename().string(),
                       std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
      << buildDirectory;

  EXPECT_EQ(namesIn(buildDirectory),
            (std::vector<std::string>{"App.app.dSYM", "Build.plist", "Widget.appex.dSYM"}));
  expectSameTree(products + "/App.app.dSYM", buildDirectory + "/App.app.dSYM");
  expectSameTree(products + "/Widget.appex.dSYM", buildDirectory + "/Widget.appex.dSYM");

  auto buildPlist = platform::dictionaryWithContentsOfFile(buildDirectory + "/Build.plist");
  ASSERT_TRUE(buildPlist);
  ASSERT_TRUE((*buildPlist)["dSYMs"].is_array());
  std::vector<std::string> dsyms = (*buildPlist)["dSYMs"].get<std::vector<std::string>>();
  std::sort(dsyms.begin(), dsyms.end());
  EXPECT_EQ(dsyms, (std::vector<std::string>{buildDirectory + "/App.app.dSYM",
                                             buildDirectory + "/Widget.appex.dSYM"}));
  buildPlist->erase("dSYMs");
  nlohmann::json expected = {{"PLATFORM_NAME", "iphoneos"},
                             {"PROJECT_FILE_PATH", "/p/App.xcodeproj"},
                             {"CONFIGURATION", "Release"},
                             {"XCODE_VERSION_ACTUAL", "1430"},
                             {"CODE_SIGN_IDENTITY", ""},
                             {"SDKROOT", "/sdk"},
                             {"QUORVEX_FRAMEWORK_PATH", frameworkDirectory()},
                             {"QUORVEX_API_KEY", kKey},
                             {"QUORVEX_RUN_VERSION", "149"},
                             {"CFBundleShortVersionString", "1.0"},
                             {"CFBundleVersion", "42"},
                             {"CFBundleDisplayName", "App"},
                             {"CFBundleName", "App"},
                             {"CFBundleIdentifier", "com.example.App"},
                             {"Runner_Environment_Dictionary", environment}};
  EXPECT_EQ(unordered(*buildPlist), expected);

  EXPECT_EQ(app.recordedURLs(),
            std::vector<std::string>{"quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=" +
                                     escapedPath(buildDirectory + "/Build.plist")});
}

TEST_F(InteractiveTest, BuildPlistIsAnXMLPropertyList) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  ASSERT_EQ(runTool(environment).status, 0);
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  std::string text = testsupport::readFile(buildDirectory + "/Build.plist");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << text;
  EXPECT_NE(text.find("<plist version=\"1.0\">"), std::string::npos);
  EXPECT_NE(text.find("<key>Runner_Environment_Dictionary</key>"), std::string::npos);
  // Without the optional settings their keys are absent.
  auto buildPlist = platform::dictionaryWithContentsOfFile(buildDirectory + "/Build.plist");
  ASSERT_TRUE(buildPlist);
  for (const char* key : {"XCODE_VERSION_ACTUAL", "CODE_SIGN_IDENTITY", "PROVISIONING_PROFILE"})
    EXPECT_FALSE(buildPlist->contains(key)) << key;
  EXPECT_EQ(buildPlist->size(), 14u);
  // Build.plist holds the key and the environment: the owner's alone.
  EXPECT_EQ(fs::status(buildDirectory + "/Build.plist").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  for (fs::path level = buildDirectory;
       level != environment["XDG_CACHE_HOME"] && level.has_relative_path();
       level = level.parent_path())
    EXPECT_EQ(fs::status(level).permissions(), fs::perms::owner_all) << level;
}

TEST_F(InteractiveTest, DebugModeAnnouncesTheHandOff) {
  testsupport::DesktopApp app(root.path(), "203");
  auto result = runTool(buildSettings(app.environment()), false, {"-debug", "YES"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Sending data to Brantle.app\n"), 1u) << result.err;
  EXPECT_EQ(app.recordedURLs().size(), 1u);
}

class OldDesktopAppTest : public InteractiveTest {
 protected:
  // The inline URL of the example, with this test's folders in place of
  // /b and the framework folder.
  std::string inlineURL() const {
    return "quorvex://xcode?BUILT_PRODUCTS_DIR=" + escapedPath(products) +
           "&PRODUCT_NAME=App&WRAPPER_NAME=App.app&DWARF_DSYM_FOLDER_PATH=" +
           escapedPath(products) +
           "&DWARF_DSYM_FILE_NAME=App.app.dSYM&PLATFORM_NAME=iphoneos&"
           "PROJECT_FILE_PATH=%2Fp%2FApp.xcodeproj&INFOPLIST_PATH=App.app%2FInfo.plist&"
           "CONFIGURATION=Release&SDKROOT=%2Fsdk&QUORVEX_FRAMEWORK_PATH=" +
           escapedPath(frameworkDirectory()) + "&QUORVEX_API_KEY=" + kKey +
           "&QUORVEX_RUN_VERSION=149";
  }
};

TEST_F(OldDesktopAppTest, SettingsTravelInTheURLAndNoBuildPlistIsWritten) {
  testsupport::DesktopApp app(root.path(), "202");
  addMoreBundles();
  Settings environment = buildSettings(app.environment());
  auto result = runTool(environment);
  ASSERT_EQ(result.status, 0) << result.err;
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  EXPECT_EQ(namesIn(buildDirectory),
            (std::vector<std::string>{"App.app.dSYM", "Widget.appex.dSYM"}));
  expectSameTree(products + "/App.app.dSYM", buildDirectory + "/App.app.dSYM");
  EXPECT_EQ(app.recordedURLs(), std::vector<std::string>{inlineURL()});
}

TEST_F(OldDesktopAppTest, XcodeVersionAndSearchPathsComeLast) {
  testsupport::DesktopApp app(root.path(), "202");
  Settings environment = buildSettings(app.environment());
  environment["XCODE_VERSION_ACTUAL"] = "1430";
  environment["FRAMEWORK_SEARCH_PATHS"] = "\"$(SRCROOT)/Frame works\" /b";
  auto result = runTool(environment);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      app.recordedURLs(),
      std::vector<std::string>{inlineURL() + "&XCODE_VERSION_ACTUAL=1430&FRAMEWORK_SEARCH_PATHS="
                                             "%22%24%28SRCROOT%29%2FFrame%20works%22%20%2Fb"});
}

TEST_F(OldDesktopAppTest, AnAppWithoutABundleVersionIsTreatedAsOld) {
  testsupport::DesktopApp app(root.path(), std::nullopt);
  Settings environment = buildSettings(app.environment());
  ASSERT_EQ(runTool(environment).status, 0);
  EXPECT_EQ(app.recordedURLs(), std::vector<std::string>{inlineURL()});
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  EXPECT_FALSE(fs::exists(buildDirectory + "/Build.plist"));
}

TEST_F(InteractiveTest, WithoutDesktopAppTheSignUpMessageEndsTheRun) {
  Settings environment = buildSettings(testsupport::privateXDGEnvironment(root.path()));
  testsupport::Browser browser(environment, root / "browser-urls.txt");
  auto result = runTool(environment, true);
  EXPECT_EQ(result.status, 1);
  std::string message =
      "] \n\nBrantle: This app relies on Brantle. Please sign up for access at "
      "https://quorvex.com/sign_up,\ninstall Brantle.app then ask a team member to invite you "
      "to this app's organization.\n\nIf this machine is a build server please remove "
      "Brantle.app if present and use xcodebuild so that App.app.dSYM is uploaded.\n\n";
  ASSERT_EQ(countOf(result.err, message), 1u) << result.err;
  EXPECT_EQ(result.err.size() - result.err.find(message), message.size());  // the last record
  EXPECT_EQ(browser.recordedURLs(), std::vector<std::string>{"https://quorvex.com/sign_up"});
  // The copies were made before the hand-off failed.
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  EXPECT_EQ(namesIn(buildDirectory), std::vector<std::string>{"App.app.dSYM"});
}

TEST_F(InteractiveTest, WithoutDesktopAppOrBrowserTheMessageStillComes) {
  Settings environment = buildSettings(testsupport::privateXDGEnvironment(root.path()));
  auto result = runTool(environment, true);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOf(result.err, "so that App.app.dSYM is uploaded.\n"), 1u) << result.err;
}

TEST_F(InteractiveTest, TwoRunsShareTheCacheRootAndGetTwoBuildFolders) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  ASSERT_EQ(runTool(environment).status, 0);
  ASSERT_EQ(runTool(environment).status, 0);
  EXPECT_EQ(namesIn(environment["XDG_CACHE_HOME"]), std::vector<std::string>{"com.quorvex.mac"});
  EXPECT_EQ(namesIn(environment["XDG_CACHE_HOME"] + "/com.quorvex.mac"),
            std::vector<std::string>{md5sum(kDefaultEndpoint)});
  auto builds = namesIn(cacheRoot(environment, kDefaultEndpoint));
  ASSERT_EQ(builds.size(), 2u);
  auto urls = app.recordedURLs(2);
  ASSERT_EQ(urls.size(), 2u);
  std::sort(urls.begin(), urls.end());
  std::vector<std::string> expected;
  for (const auto& name : builds)
    expected.push_back(
        "quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=" +
        escapedPath(cacheRoot(environment, kDefaultEndpoint) + "/" + name + "/Build.plist"));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(urls, expected);
}

TEST_F(InteractiveTest, TheAppsOwnEndpointNamesAnotherDigestFolder) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  ASSERT_EQ(runTool(environment).status, 0);
  const std::string selfHosted = "https://quorvex.example.org/api/";
  auto info = platform::dictionaryWithContentsOfFile(products + "/App.app/Info.plist");
  ASSERT_TRUE(info);
  (*info)["QuorvexAPIEndpoint"] = selfHosted;
  ASSERT_TRUE(platform::writePropertyListAtomically(*info, products + "/App.app/Info.plist"));
  ASSERT_EQ(runTool(environment).status, 0);
  std::vector<std::string> digests = {md5sum(kDefaultEndpoint), md5sum(selfHosted)};
  std::sort(digests.begin(), digests.end());
  EXPECT_EQ(namesIn(environment["XDG_CACHE_HOME"] + "/com.quorvex.mac"), digests);
  EXPECT_EQ(namesIn(onlyBuildDirectory(cacheRoot(environment, selfHosted))),
            (std::vector<std::string>{"App.app.dSYM", "Build.plist"}));
}

TEST_F(InteractiveTest, ACacheRootThatCannotBeMadeEndsTheRunAfterBothMessages) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  testsupport::writeFile(environment["XDG_CACHE_HOME"] + "/com.quorvex.mac", "in the way");
  auto result = runTool(environment);
  EXPECT_EQ(result.status, 1);
  size_t objectStore = result.err.find("] ERROR: unable to write directory for object store.\n");
  size_t description = result.err.find("] Error Domain=NSPOSIXErrorDomain Code=20 \"");
  std::string buildFailure =
      "] Unable to create directory at path " + cacheRoot(environment, kDefaultEndpoint) + "/";
  size_t buildFolder = result.err.find(buildFailure);
  ASSERT_NE(objectStore, std::string::npos) << result.err;
  ASSERT_NE(description, std::string::npos) << result.err;
  ASSERT_NE(buildFolder, std::string::npos) << result.err;
  EXPECT_LT(objectStore, description);
  EXPECT_LT(description, buildFolder);
  EXPECT_TRUE(std::regex_search(
      result.err.substr(buildFolder),
      std::regex("^\\] Unable to create directory at path [^\n]*/builds/[0-9A-F-]{36} \nError "
                 "Domain=NSPOSIXErrorDomain Code=20 \"[^\n]*Not a directory\"\n$")))
      << result.err.substr(buildFolder);
  EXPECT_EQ(countOf(result.err, "Brantle: "), 0u);
  EXPECT_EQ(app.recordedURLs(1, std::chrono::milliseconds(0)).size(), 0u);
}

TEST_F(InteractiveTest, ADSYMThatCannotBeCopiedEndsTheRun) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  // The build folder can be made, but the deepest file of the copy would
  // have a path longer than the system allows.
  environment["XDG_CACHE_HOME"] = folderOfPathLength(root / "cache", 3990);
  auto result = runTool(environment);
  EXPECT_EQ(result.status, 1);
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  std::string message = "] Unable to copy dSYM at path " + products + "/App.app.dSYM to path " +
                        buildDirectory + "/App.app.dSYM Error Domain=NSPOSIXErrorDomain Code=36 \"";
  EXPECT_EQ(countOf(result.err, message), 1u) << result.err;
  EXPECT_NE(result.err.find("File name too long\"\n"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(buildDirectory + "/Build.plist"));
}

TEST_F(InteractiveTest, ABuildPlistThatCannotBeWrittenIsReportedAndTheSettingsGoInline) {
  testsupport::DesktopApp app(root.path(), "203");
  Settings environment = buildSettings(app.environment());
  // The dSYM lies outside the products folder, so nothing is copied; the
  // build folder can be made, but Build.plist's temporary file name is one
  // byte too long for the system.
  fs::rename(products + "/App.app.dSYM", root / "App.app.dSYM");
  environment["DWARF_DSYM_FOLDER_PATH"] = root.path();
  environment["XDG_CACHE_HOME"] = folderOfPathLength(root / "cache", 4095 - 93 - 18);
  auto result = runTool(environment);
  EXPECT_EQ(result.status, 0) << result.err;
  std::string buildDirectory = onlyBuildDirectory(cacheRoot(environment, kDefaultEndpoint));
  EXPECT_TRUE(namesIn(buildDirectory).empty());
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Failed to write data to build description path " +
                                    buildDirectory + "/Build.plist\n\n\n"),
            1u)
      << result.err;
  auto urls = app.recordedURLs();
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0].rfind("quorvex://xcode?BUILT_PRODUCTS_DIR=" + escapedPath(products), 0), 0u);
}

class ArtifactPlistRunTest : public InteractiveTest {
 protected:
  // Runs once with the given artifact settings and a new desktop app.
  ProcessResult runWith(const Settings& artifactSettings) {
    testsupport::DesktopApp app(root.path(), "203");
    Settings environment = buildSettings(app.environment());
    for (const auto& [name, value] : artifactSettings) environment[name] = value;
    return runTool(environment, false, {"-debug", "YES"});
  }
};

TEST_F(ArtifactPlistRunTest, YesOneAndTrueWriteTheKeyInTheProductsFolder) {
  for (const char* value : {"YES", "1", "true"}) {
    fs::remove(products + "/quorvex.plist");
    auto result = runWith({{"QUORVEX_CREATE_ARTIFACT", value}});
    EXPECT_EQ(result.status, 0) << result.err;
    auto artifact = platform::dictionaryWithContentsOfFile(products + "/quorvex.plist");
    ASSERT_TRUE(artifact) << value;
    EXPECT_EQ(unordered(*artifact), (nlohmann::json{{"QuorvexAPIKey", kKey}})) << value;
    EXPECT_EQ(testsupport::readFile(products + "/quorvex.plist").rfind("<?xml", 0), 0u);
  }
}

TEST_F(ArtifactPlistRunTest, NoZeroAndAbsentWriteNothing) {
  for (const char* value : {"NO", "0"}) {
    EXPECT_EQ(runWith({{"QUORVEX_CREATE_ARTIFACT", value}}).status, 0) << value;
    EXPECT_FALSE(fs::exists(products + "/quorvex.plist")) << value;
  }
  EXPECT_EQ(runWith({{"QUORVEX_ARTIFACT_PATH", root / "a.plist"}}).status, 0);
  EXPECT_FALSE(fs::exists(products + "/quorvex.plist"));
  EXPECT_FALSE(fs::exists(root / "a.plist"));
}

TEST_F(ArtifactPlistRunTest, TheArtifactPathIsUsedWhenSet) {
  auto result =
      runWith({{"QUORVEX_CREATE_ARTIFACT", "YES"}, {"QUORVEX_ARTIFACT_PATH", root / "a.plist"}});
  EXPECT_EQ(result.status, 0) << result.err;
  auto artifact = platform::dictionaryWithContentsOfFile(root / "a.plist");
  ASSERT_TRUE(artifact);
  EXPECT_EQ(unordered(*artifact), (nlohmann::json{{"QuorvexAPIKey", kKey}}));
  EXPECT_FALSE(fs::exists(products + "/quorvex.plist"));
}

TEST_F(ArtifactPlistRunTest, APathInAMissingFolderIsLoggedBeforeTheModeDecision) {
  std::string path = root / "missing/quorvex.plist";
  auto result = runWith({{"QUORVEX_CREATE_ARTIFACT", "YES"}, {"QUORVEX_ARTIFACT_PATH", path}});
  EXPECT_EQ(result.status, 0) << result.err;
  std::string line = "\n\nBrantle: Failed to write data to artifact path " + path + "\n\n\n";
  ASSERT_EQ(countOf(result.err, line), 1u) << result.err;
  size_t botsLine = result.err.find("Run script build phase called from Xcode Bots");
  ASSERT_NE(botsLine, std::string::npos) << result.err;
  EXPECT_LT(result.err.find(line), botsLine);
  EXPECT_FALSE(fs::exists(root / "missing"));
}
