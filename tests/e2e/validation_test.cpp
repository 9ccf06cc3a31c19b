#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/PropertyListFixtures.h"
#include "tests/support/TestSupport.h"

using testsupport::countOf;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";
const std::string kIdentifierNotFound =
    "\n\nBrantle: Required Info.plist Value Not Found\n\nA CFBundleIdentifier value in your "
    "Info.plist is required. Please confirm this value is present in ";
const std::string kEnvironmentTitle = "\n\nBrantle: Failed to Detect Build Environment\n\n";
const std::string kTargetPhaseStop =
    "\n\nBrantle: Use a Target Run Script Build Phase\n\nMake sure the Brantle command is added "
    "to your project Target and not the scheme 'Post-actions'.\n\nThen, Build your project to "
    "continue.\n\n(Quorvex error 602)\n";

// Writes the dictionary as a binary property list.
void writeBinaryPropertyList(const std::string& path, const std::string& identifier) {
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(identifier.c_str()));
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(dict, &bytes, &length);
  testsupport::writeFile(path, std::string(bytes, length));
  free(bytes);
  plist_free(dict);
}

}  // namespace

// A finished build as Xcode leaves it before the last build phase: the app's
// Info.plist and its dSYM bundle in the products folder, and the project's
// source root as working directory. The desktop app is registered, so a run
// that passes every check takes the interactive road and sends nothing to
// the network; the service base URLs point at a closed local port anyway.
class ValidationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment = app.environment();
    environment["BUILT_PRODUCTS_DIR"] = products();
    environment["INFOPLIST_PATH"] = "App.app/Info.plist";
    environment["DWARF_DSYM_FOLDER_PATH"] = products();
    environment["DWARF_DSYM_FILE_NAME"] = "App.app.dSYM";
    environment["WRAPPER_NAME"] = "App.app";
    environment["SRCROOT"] = sourceRoot();
    environment["QUORVEX_API_BASE_URL"] = "http://127.0.0.1:1";
    environment["QUORVEX_CODE_MAPPING_BASE_URL"] = "http://127.0.0.1:1";
    testsupport::makeDirectories(sourceRoot());
    testsupport::makeDirectories(products() + "/App.app.dSYM/Contents/Resources/DWARF");
    writeInfoPlist({{"CFBundleIdentifier", "com.example.app"}});
  }

  std::string products() { return root / "build/Products/Debug-iphoneos"; }
  std::string sourceRoot() { return root / "project"; }
  std::string infoPlistPath() { return products() + "/App.app/Info.plist"; }
  void writeInfoPlist(const platform::Value& info) {
    testsupport::makeDirectories(products() + "/App.app");
    ASSERT_TRUE(platform::writePropertyListAtomically(info, infoPlistPath()));
  }

  testsupport::ProcessResult run(bool debug = false) { return runIn(sourceRoot(), debug); }
  testsupport::ProcessResult runIn(const std::string& workingDirectory, bool debug = false) {
    std::vector<std::string> arguments = {testsupport::runExecutable(), kKey};
    if (debug) arguments.insert(arguments.end(), {"-debug", "YES"});
    return testsupport::runProcess(arguments, environment, workingDirectory);
  }

  // The run stopped with exactly this one framed record, and it came last.
  static void expectStop(const testsupport::ProcessResult& result, const std::string& record) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(countOf(result.err, "Brantle: "), 1u) << result.err;
    ASSERT_GE(result.err.size(), record.size()) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - record.size()), record) << result.err;
  }
  // Every check passed: none of the stops, and status 0.
  static void expectPassed(const testsupport::ProcessResult& result) {
    EXPECT_EQ(result.status, 0) << result.err;
    for (const char* title : {"Failed to Detect Build Environment", "Info.plist Error",
                              "Required Info.plist Value Not Found", "dSYM Error",
                              "Use a Target Run Script Build Phase"})
      EXPECT_EQ(countOf(result.err, std::string("Brantle: ") + title), 0u) << result.err;
  }

  testsupport::TempDir root;
  testsupport::DesktopApp app{root.path(), "203"};
  std::map<std::string, std::string> environment;
};

TEST_F(ValidationTest, CompleteBuildPassesEveryCheck) { expectPassed(run()); }

TEST_F(ValidationTest, EachMissingSettingIsNamedInOrder) {
  for (const char* name :
       {"BUILT_PRODUCTS_DIR", "INFOPLIST_PATH", "DWARF_DSYM_FILE_NAME", "DWARF_DSYM_FOLDER_PATH"}) {
    auto saved = environment[name];
    environment.erase(name);
    expectStop(run(), kEnvironmentTitle + name + " value not found in environment\n");
    environment[name] = saved;
  }
}

TEST_F(ValidationTest, EmptyProductsFolderFailsLikeAnAbsentOne) {
  environment["BUILT_PRODUCTS_DIR"] = "";
  expectStop(run(), kEnvironmentTitle + "BUILT_PRODUCTS_DIR value not found in environment\n");
}

TEST_F(ValidationTest, OnlyTheFirstMissingSettingIsNamed) {
  environment.erase("INFOPLIST_PATH");
  environment.erase("DWARF_DSYM_FILE_NAME");
  auto result = run();
  expectStop(result, kEnvironmentTitle + "INFOPLIST_PATH value not found in environment\n");
  EXPECT_EQ(countOf(result.err, "DWARF_DSYM_FILE_NAME"), 0u);
}

TEST_F(ValidationTest, MissingInfoPlistNamesItsPathAndTheWrapper) {
  std::filesystem::remove(infoPlistPath());
  expectStop(run(), "\n\nBrantle: Info.plist Error\n\nUnable to process Info.plist at path " +
                        infoPlistPath() +
                        "\nThis could be a timing issue, make sure the Brantle run script build "
                        "phase is the last build phase and no other scripts have moved App.app "
                        "from the location Xcode generated it.\n");
}

TEST_F(ValidationTest, InfoPlistPathIsJoinedWithOneSlashAsWritten) {
  std::filesystem::remove(infoPlistPath());
  environment["BUILT_PRODUCTS_DIR"] = products() + "/";
  environment.erase("WRAPPER_NAME");
  auto result = run();
  EXPECT_EQ(countOf(result.err, "at path " + products() + "//App.app/Info.plist\n"), 1u)
      << result.err;
  EXPECT_EQ(countOf(result.err, "have moved (null) from"), 1u) << result.err;
}

TEST_F(ValidationTest, InfoPlistThatDoesNotParseHasNoIdentifier) {
  testsupport::writeFile(infoPlistPath(), "<?xml version=\"1.0\"?><plist><dict><key>");
  expectStop(run(),
             "\n\nBrantle: Required Info.plist Value Not Found\n\nA CFBundleIdentifier value in "
             "your Info.plist is required. Please confirm this value is present in " +
                 infoPlistPath() + " \n\n\n");
}

TEST_F(ValidationTest, MissingOrEmptyIdentifierIsNotFound) {
  for (const platform::Value& info :
       {platform::Value{{"CFBundleName", "App"}}, platform::Value{{"CFBundleIdentifier", ""}}}) {
    writeInfoPlist(info);
    auto result = run();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(countOf(result.err, "Brantle: Required Info.plist Value Not Found\n\n"), 1u)
        << result.err;
  }
}

TEST_F(ValidationTest, BinaryInfoPlistIsReadLikeAnXMLOne) {
  writeBinaryPropertyList(infoPlistPath(), "com.example.binary");
  ASSERT_EQ(testsupport::readFile(infoPlistPath()).substr(0, 8), "bplist00");
  expectPassed(run());
  writeBinaryPropertyList(infoPlistPath(), "");
  auto result = run();
  EXPECT_EQ(countOf(result.err, "Required Info.plist Value Not Found"), 1u) << result.err;
}

TEST_F(ValidationTest, MissingDSYMNamesTheFileAndItsPath) {
  std::filesystem::remove_all(products() + "/App.app.dSYM");
  expectStop(run(),
             "\n\nBrantle: dSYM Error\n\nUnable to process App.app.dSYM at path " + products() +
                 "/App.app.dSYM\nMake sure your project build settings are generating a dSYM "
                 "file. DEBUG_INFORMATION_FORMAT should be set to dwarf-with-dsym for all "
                 "configurations. This could also be a timing issue, make sure the Brantle run "
                 "script build phase is the last build phase and no other scripts have moved the "
                 "dSYM from the location Xcode generated it.\n\n\n");
}

TEST_F(ValidationTest, InfoPlistIsCheckedBeforeTheDSYM) {
  std::filesystem::remove(infoPlistPath());
  std::filesystem::remove_all(products() + "/App.app.dSYM");
  auto result = run();
  EXPECT_EQ(countOf(result.err, "Brantle: Info.plist Error"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "dSYM Error"), 0u);
}

TEST_F(ValidationTest, DSYMAsAPlainFileOrThroughALinkExists) {
  std::filesystem::remove_all(products() + "/App.app.dSYM");
  testsupport::writeFile(products() + "/App.app.dSYM", "flat");
  expectPassed(run());
  std::filesystem::remove(products() + "/App.app.dSYM");
  testsupport::makeDirectories(root / "elsewhere.dSYM");
  std::filesystem::create_directory_symlink(root / "elsewhere.dSYM", products() + "/App.app.dSYM");
  expectPassed(run());
}

TEST_F(ValidationTest, AbsentSourceRootIsError602) {
  environment.erase("SRCROOT");
  expectStop(run(), kTargetPhaseStop);
}

TEST_F(ValidationTest, OtherWorkingDirectoryIsError602) {
  testsupport::makeDirectories(root / "elsewhere");
  expectStop(runIn(root / "elsewhere"), kTargetPhaseStop);
}

TEST_F(ValidationTest, SourceRootChecksComeAfterTheBuildChecks) {
  environment.erase("SRCROOT");
  std::filesystem::remove_all(products() + "/App.app.dSYM");
  auto result = run();
  EXPECT_EQ(countOf(result.err, "Brantle: dSYM Error"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "(Quorvex error 602)"), 0u);
}

TEST_F(ValidationTest, SourceRootThatIsTheWorkingDirectoryPassesAtOnce) {
  auto result = run(true);
  expectPassed(result);
  EXPECT_EQ(countOf(result.err, "Brantle: Src root " + sourceRoot() + "\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "Brantle: Current directory path " + sourceRoot() + "\n"), 1u);
  EXPECT_EQ(countOf(result.err, "resolved"), 0u);
}

TEST_F(ValidationTest, SourceRootNamedThroughALinkPassesOnceResolved) {
  std::filesystem::create_directory_symlink(sourceRoot(), root / "project-link");
  environment["SRCROOT"] = root / "project-link/";
  auto result = run(true);
  expectPassed(result);
  EXPECT_EQ(countOf(result.err, "Brantle: Src root " + root / "project-link/\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "Brantle: Current directory path resolved " + sourceRoot()), 1u);
  EXPECT_EQ(countOf(result.err, "Brantle: Src root resolved " + sourceRoot() + "\n"), 1u);
}

TEST_F(ValidationTest, WorkingFolderReachedThroughALinkPasses) {
  std::filesystem::create_directory_symlink(sourceRoot(), root / "project-link");
  expectPassed(runIn(root / "project-link"));
  environment["SRCROOT"] = root / "project-link";
  expectPassed(runIn(root / "project-link"));
}

TEST_F(ValidationTest, ChecksAreQuietOutsideDebugMode) {
  auto result = run();
  expectPassed(result);
  EXPECT_EQ(countOf(result.err, "Src root"), 0u);
  EXPECT_EQ(countOf(result.err, "Current directory path"), 0u);
}

TEST_F(ValidationTest, DebugLinesOfAFailedWorkingDirectoryTest) {
  environment.erase("SRCROOT");
  auto result = run(true);
  for (const std::string& line : std::vector<std::string>{
           "Src root (null)\n", "Current directory path " + sourceRoot(),
           "Current directory path resolved " + sourceRoot(), "Src root resolved (null)\n"})
    EXPECT_EQ(countOf(result.err, "\n\nBrantle: " + line), 1u) << line << result.err;
  EXPECT_LT(result.err.find("Src root (null)"), result.err.find("Current directory path "));
  EXPECT_LT(result.err.find("path resolved"), result.err.find("Src root resolved"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOf(result.err, "(Quorvex error 602)"), 1u);
}

// A FIFO that nobody writes stands where the Info.plist should be: it
// exists, but it is no file to read, so the run stops at once as for an
// unreadable Info.plist instead of waiting for a writer.
TEST_F(ValidationTest, FIFOInfoPlistStopsAtOnceWithRequiredValueNotFound) {
  std::filesystem::remove(infoPlistPath());
  ASSERT_EQ(mkfifo(infoPlistPath().c_str(), 0644), 0);
  auto result = testsupport::runProcessWithin(30, {testsupport::runExecutable(), kKey}, environment,
                                              sourceRoot());
  ASSERT_NE(result.status, 128 + SIGKILL) << "the run waited on the FIFO";
  expectStop(result, kIdentifierNotFound + infoPlistPath() + " \n\n\n");
}

TEST_F(ValidationTest, FIFOPreferencesFileDoesNotStopTheRun) {
  const std::string preferences = environment["XDG_CONFIG_HOME"] + "/com.quorvex.run.plist";
  ASSERT_EQ(mkfifo(preferences.c_str(), 0644), 0);
  auto result = testsupport::runProcessWithin(30, {testsupport::runExecutable(), kKey}, environment,
                                              sourceRoot());
  ASSERT_NE(result.status, 128 + SIGKILL) << "the run waited on the FIFO";
  expectPassed(result);
}

// Nesting deep enough to exhaust a recursive parser's stack is refused as
// malformed: the run ends with the missing-identifier stop, never a signal.
TEST_F(ValidationTest, InfoPlistNestedTooDeepIsMalformed) {
  for (std::size_t levels : {std::size_t{50000}, std::size_t{500000}}) {
    testsupport::writeFile(infoPlistPath(), testsupport::nestedXMLPropertyList(levels));
    auto result = run();
    ASSERT_LT(result.status, 128) << levels << " levels: signal " << result.status - 128;
    expectStop(result, kIdentifierNotFound + infoPlistPath() + " \n\n\n");
    auto binary = testsupport::nestedBinaryPropertyList(levels);
    testsupport::writeFile(infoPlistPath(), std::string(binary.begin(), binary.end()));
    result = run();
    ASSERT_LT(result.status, 128) << levels << " binary levels: signal " << result.status - 128;
    expectStop(result, kIdentifierNotFound + infoPlistPath() + " \n\n\n");
  }
}

TEST_F(ValidationTest, InfoPlistNestedToTheLimitStillPasses) {
  testsupport::writeFile(infoPlistPath(),
                         testsupport::nestedXMLPropertyList(512, "com.example.app"));
  expectPassed(run());
}

// A NUL byte inside the identifier's text is no XML: the run stops with the
// framed record of an unreadable Info.plist, never an abort.
TEST_F(ValidationTest, IdentifierHoldingANulByteStopsWithRequiredValueNotFound) {
  std::string plist =
      "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.example";
  plist.push_back('\0');
  plist += "app</string></dict></plist>\n";
  testsupport::writeFile(infoPlistPath(), plist);
  expectStop(run(), kIdentifierNotFound + infoPlistPath() + " \n\n\n");
}
