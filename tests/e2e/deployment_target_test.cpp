// The deployment-target check, end to end: the built `run` opens a real
// executable made by the machine's LLVM and refuses builds for systems
// older than iOS 5.0 or OS X 10.7.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>

#include "driver/DeploymentTarget.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

using testsupport::countOf;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

std::string iOSRefusal(const std::string& product) {
  return "\n\nBrantle: Unsupported iOS Version\n\nWe have detected that this build of " + product +
         " uses an unsupported OS Deployment Target. Brantle is only compatible with iOS 5.0 and "
         "greater. To use Brantle, you'll have to adjust your project's iOS Deployment "
         "Target.\n\n\n";
}

std::string OSXRefusal(const std::string& product) {
  return "\n\nBrantle: Unsupported OS X Version\n\nWe have detected that this build of " + product +
         " uses an unsupported OS Deployment Target. Brantle is only compatible with OS X 10.7 "
         "and greater. To use Brantle, you'll have to adjust your project's Mac OS X Deployment "
         "Target.\n\n\n";
}

}  // namespace

// A finished build as Xcode leaves it: the executable, the app's Info.plist
// and a dSYM bundle in the products folder, the project's source root as
// working directory. The desktop app is registered, so a run that passes
// every check hands the build over locally; the service base URLs point at
// a closed local port anyway.
class DeploymentTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment = app.environment();
    environment["PATH"] = "/usr/bin:/bin";
    environment["BUILT_PRODUCTS_DIR"] = products();
    environment["EXECUTABLE_PATH"] = "App.app/App";
    environment["INFOPLIST_PATH"] = "App.app/Info.plist";
    environment["DWARF_DSYM_FOLDER_PATH"] = products();
    environment["DWARF_DSYM_FILE_NAME"] = "App.app.dSYM";
    environment["WRAPPER_NAME"] = "App.app";
    environment["PRODUCT_NAME"] = "App";
    environment["SRCROOT"] = sourceRoot();
    environment["QUORVEX_API_BASE_URL"] = "http://127.0.0.1:1";
    environment["QUORVEX_CODE_MAPPING_BASE_URL"] = "http://127.0.0.1:1";
    testsupport::makeDirectories(sourceRoot());
    testsupport::makeDirectories(products() + "/App.app.dSYM/Contents/Resources/DWARF");
    testsupport::writeFile(
        products() + "/App.app/Info.plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>com.example.App</string></dict></plist>\n");
  }

  std::string products() { return root / "build/Products/Debug"; }
  std::string sourceRoot() { return root / "project"; }
  std::string tools() { return root / "tools"; }

  // Places a built file as the app's executable, and as the dSYM's DWARF
  // file, which carries the executable's UUIDs as the toolchain's would.
  void install(const std::string& built, const std::string& executablePath = "App.app/App") {
    std::filesystem::path target = products() + "/" + executablePath;
    std::filesystem::create_directories(target.parent_path());
    const auto replace = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(built, target, replace);
    std::filesystem::copy_file(built, products() + "/App.app.dSYM/Contents/Resources/DWARF/App",
                               replace);
    environment["EXECUTABLE_PATH"] = executablePath;
  }

  void useiOSRules() { environment["TARGETED_DEVICE_FAMILY"] = "1,2"; }

  testsupport::ProcessResult run() {
    return testsupport::runProcess({testsupport::runExecutable(), kKey}, environment, sourceRoot());
  }

  // The run stopped with exactly this one framed record, and it came last.
  static void expectRefused(const testsupport::ProcessResult& result, const std::string& record) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(countOf(result.err, "Brantle: "), 1u) << result.err;
    ASSERT_GE(result.err.size(), record.size()) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - record.size()), record) << result.err;
  }

  // The run got past the environment checks and the deployment check
  // passed: no stop of the earlier checks, no deployment message at all.
  static void expectAccepted(const testsupport::ProcessResult& result) {
    for (const char* title : {"Configuration Issue", "Failed to Detect Build Environment",
                              "Info.plist Error", "Required Info.plist Value Not Found",
                              "dSYM Error", "Use a Target Run Script Build Phase"})
      EXPECT_EQ(countOf(result.err, std::string("Brantle: ") + title), 0u) << result.err;
    EXPECT_EQ(countOf(result.err, "Unsupported iOS Version"), 0u) << result.err;
    EXPECT_EQ(countOf(result.err, "Unsupported OS X Version"), 0u) << result.err;
    EXPECT_EQ(countOf(result.err, "Deployment Target"), 0u) << result.err;
  }

  testsupport::TempDir root;
  testsupport::DesktopApp app{root.path(), "203"};
  std::map<std::string, std::string> environment;
};

TEST_F(DeploymentTargetTest, iOSFourThreeIsRefused) {
  install(testsupport::buildiOSExecutable(tools(), "App", "4.3"));
  useiOSRules();
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, iOSFiveZeroIsAccepted) {
  install(testsupport::buildiOSExecutable(tools(), "App", "5.0"));
  useiOSRules();
  expectAccepted(run());
}

TEST_F(DeploymentTargetTest, EmptyDeviceFamilyStillSelectsTheiOSRules) {
  install(testsupport::buildiOSExecutable(tools(), "App", "4.3"));
  environment["TARGETED_DEVICE_FAMILY"] = "";
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, SliceWithoutVersionCommandFallsBackToTheiOSSetting) {
  auto built = testsupport::buildiOSExecutable(tools(), "App", "9.0");
  auto stripped = testsupport::writeWithoutVersionCommands(built, tools() + "/App-stripped");
  install(stripped);
  useiOSRules();
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "8.0";
  expectAccepted(run());
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "4.3";
  expectRefused(run(), iOSRefusal("App"));
  environment.erase("IPHONEOS_DEPLOYMENT_TARGET");
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, SliceWithoutVersionCommandIsRefusedUnderTheOSXRules) {
  auto built = testsupport::buildMacOSExecutable(tools(), "App", "10.10");
  install(testsupport::writeWithoutVersionCommands(built, tools() + "/App-stripped"));
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "8.0";
  expectRefused(run(), OSXRefusal("App"));
}

TEST_F(DeploymentTargetTest, OSXTenSixEightIsRefused) {
  install(testsupport::buildMacOSExecutable(tools(), "App", "10.6.8"));
  expectRefused(run(), OSXRefusal("App"));
}

TEST_F(DeploymentTargetTest, OSXTenSevenTenTenAndElevenAreAccepted) {
  for (const char* version : {"10.7.0", "10.10", "11.0"}) {
    install(testsupport::buildMacOSExecutable(tools(), std::string("App-") + version, version));
    expectAccepted(run());
  }
}

TEST_F(DeploymentTargetTest, CurrentMacOSExecutableWithBuildVersionOnlyIsAccepted) {
  auto built = testsupport::buildMacOSExecutable(tools(), "App", "10.15");
  auto headers = testsupport::objdumpPrivateHeaders(built);
  ASSERT_EQ(countOf(headers, "LC_VERSION_MIN"), 0u);
  ASSERT_EQ(countOf(headers, "LC_BUILD_VERSION"), 1u);
  install(built);
  expectAccepted(run());
}

TEST_F(DeploymentTargetTest, FatFileWithOneOldSliceIsRefusedWithTheProductName) {
  auto fat = testsupport::buildFatFile(
      tools() + "/App", {testsupport::buildiOSExecutable(tools(), "App-arm64", "6.0"),
                         testsupport::buildiOSSimulatorExecutable(tools(), "App-sim", "4.3")});
  install(fat);
  useiOSRules();
  environment["PRODUCT_NAME"] = "Fat Product";
  expectRefused(run(), iOSRefusal("Fat Product"));
}

// The table lists the slices against their offsets' order; the old slice
// is in the later entry, at the lower offset.
TEST_F(DeploymentTargetTest, FatFileWithEntriesOutOfOffsetOrderChecksEverySlice) {
  auto fat = testsupport::buildFatFile(
      tools() + "/App", {testsupport::buildiOSExecutable(tools(), "App-arm64", "9.0"),
                         testsupport::buildiOSSimulatorExecutable(tools(), "App-sim", "4.3")});
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(fat).at(0).architecture, "x86_64");
  auto swapped = testsupport::writeWithFatEntriesSwapped(fat, tools() + "/App-swapped", 0, 1);
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(swapped).at(1).architecture, "x86_64");
  install(swapped);
  useiOSRules();
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, SixtyFourBitFatFileChecksEverySlice) {
  auto fat = testsupport::buildFatFile(
      tools() + "/App", {testsupport::buildiOSExecutable(tools(), "App-arm64", "9.0"),
                         testsupport::buildiOSSimulatorExecutable(tools(), "App-sim", "4.3")});
  install(testsupport::writeAsFat64(fat, tools() + "/App-fat64"));
  useiOSRules();
  expectRefused(run(), iOSRefusal("App"));
  auto current = testsupport::buildFatFile(
      tools() + "/App-new",
      {testsupport::buildiOSExecutable(tools(), "App-arm64-new", "9.0"),
       testsupport::buildiOSSimulatorExecutable(tools(), "App-sim-new", "9.0")});
  install(testsupport::writeAsFat64(current, tools() + "/App-new-fat64"));
  expectAccepted(run());
}

// visionOS (platform 11) is not one of the systems whose versions the iOS
// rules read: its 1.0 is no iOS 1.0, and the rules fall back to the setting.
TEST_F(DeploymentTargetTest, VisionOSBuildVersionFallsBackToTheiOSSetting) {
  auto built = testsupport::buildiOSExecutable(tools(), "App", "14.0");
  ASSERT_EQ(countOf(testsupport::objdumpPrivateHeaders(built), "LC_BUILD_VERSION"), 1u);
  testsupport::patchBuildVersion(built, 11, 0x00010000);
  ASSERT_EQ(countOf(testsupport::objdumpPrivateHeaders(built), "minos 1.0"), 1u);
  install(built);
  useiOSRules();
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "9.0";
  expectAccepted(run());
  environment.erase("IPHONEOS_DEPLOYMENT_TARGET");
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, iOSBuildVersionOfFourThreeIsRefused) {
  auto built = testsupport::buildiOSExecutable(tools(), "App", "14.0");
  testsupport::patchBuildVersion(built, 2, 0x00040300);
  auto headers = testsupport::objdumpPrivateHeaders(built);
  ASSERT_EQ(countOf(headers, "LC_VERSION_MIN"), 0u);
  ASSERT_EQ(countOf(headers, "minos 4.3"), 1u) << headers;
  install(built);
  useiOSRules();
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "9.0";
  expectRefused(run(), iOSRefusal("App"));
}

// 8 GiB of zeros behind a 64-bit ARM header that states 0xffffffff
// commands in 0xffffffff bytes: the slice has no version command, so the
// iOS rules take the setting; the walk stops at the first, empty command.
TEST_F(DeploymentTargetTest, HugeSparseExecutableWithEveryCountAtItsMaximumIsCheckedByTheSetting) {
  const std::string path = products() + "/App.app/App";
  std::uint32_t header[8] = {0xfeedfacf, 0x0100000c, 0, 2, 0xffffffff, 0xffffffff, 0, 0};
  testsupport::writeFile(path, std::string(reinterpret_cast<const char*>(header), sizeof header));
  ASSERT_EQ(truncate(path.c_str(), 8ll << 30), 0);
  useiOSRules();
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "9.0";
  auto accepted = testsupport::runProcessWithin(60, {testsupport::runExecutable(), kKey},
                                                environment, sourceRoot());
  expectAccepted(accepted);
  EXPECT_EQ(accepted.status, 0) << accepted.err;
  environment["IPHONEOS_DEPLOYMENT_TARGET"] = "4.3";
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, AbsentProductNameShowsTheMissingObjectPlaceholder) {
  install(testsupport::buildMacOSExecutable(tools(), "App", "10.6"));
  environment.erase("PRODUCT_NAME");
  expectRefused(run(), OSXRefusal("(null)"));
}

// The executable is a file path, spaces and all: it is refused exactly as
// where no space is in its path.
TEST_F(DeploymentTargetTest, ExecutablePathWithASpaceIsCheckedLikeAnyOther) {
  auto old = testsupport::buildiOSExecutable(tools(), "App", "4.3");
  useiOSRules();
  install(old, "My App.app/My App");
  expectRefused(run(), iOSRefusal("App"));
  install(old, "App.app/App");
  expectRefused(run(), iOSRefusal("App"));
}

TEST_F(DeploymentTargetTest, MissingExecutablePassesTheCheck) {
  useiOSRules();
  expectAccepted(run());
}

TEST_F(DeploymentTargetTest, FileThatIsNotMachOPassesTheCheck) {
  testsupport::writeFile(products() + "/App.app/App", "#!/bin/sh\necho not a Mach-O file\n");
  expectAccepted(run());
  useiOSRules();
  expectAccepted(run());
}

TEST(DeploymentRules, iOSLooksOnlyAtTheMajorVersion) {
  platform::Environment none;
  EXPECT_TRUE(iOSDeploymentTargetIsUnsupported({4, 3, 0}, none));
  EXPECT_TRUE(iOSDeploymentTargetIsUnsupported({4, 255, 255}, none));
  EXPECT_FALSE(iOSDeploymentTargetIsUnsupported({5, 0, 0}, none));
  EXPECT_FALSE(iOSDeploymentTargetIsUnsupported({17, 0, 0}, none));
}

TEST(DeploymentRules, iOSWithoutVersionReadsTheSettingAsAnInteger) {
  auto with = [](const char* value) {
    return iOSDeploymentTargetIsUnsupported({0, 0, 0}, {{"IPHONEOS_DEPLOYMENT_TARGET", value}});
  };
  EXPECT_FALSE(with("8.0"));
  EXPECT_FALSE(with("  5"));
  EXPECT_FALSE(with("+12.1"));
  EXPECT_TRUE(with("4.3"));
  EXPECT_TRUE(with("iOS 8"));
  EXPECT_TRUE(with(""));
  EXPECT_TRUE(iOSDeploymentTargetIsUnsupported({0, 9, 0}, {}));
}

TEST(DeploymentRules, OSXComparesMajorThenMinor) {
  EXPECT_TRUE(OSXDeploymentTargetIsUnsupported({0, 0, 0}));
  EXPECT_TRUE(OSXDeploymentTargetIsUnsupported({9, 9, 9}));
  EXPECT_TRUE(OSXDeploymentTargetIsUnsupported({10, 6, 8}));
  EXPECT_FALSE(OSXDeploymentTargetIsUnsupported({10, 7, 0}));
  EXPECT_FALSE(OSXDeploymentTargetIsUnsupported({10, 10, 0}));
  EXPECT_FALSE(OSXDeploymentTargetIsUnsupported({11, 0, 0}));
  EXPECT_FALSE(OSXDeploymentTargetIsUnsupported({12, 1, 0}));
}
