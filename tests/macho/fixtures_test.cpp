// The Mach-O fixtures themselves: what they build is what the tests assume.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

bool mentions(const std::string& text, const std::string& word) {
  return text.find(word) != std::string::npos;
}

}  // namespace

TEST(MachOFixtures, OldiOSTargetGetsVersionMinimumCommand) {
  TempDir dir;
  auto headers = objdumpPrivateHeaders(buildiOSExecutable(dir.path(), "App", "4.3"));
  EXPECT_TRUE(mentions(headers, "LC_VERSION_MIN_IPHONEOS"));
  EXPECT_TRUE(mentions(headers, "version 4.3"));
}

TEST(MachOFixtures, CurrentMacOSTargetGetsBuildVersionOnly) {
  TempDir dir;
  auto headers = objdumpPrivateHeaders(buildMacOSExecutable(dir.path(), "App", "10.15"));
  EXPECT_TRUE(mentions(headers, "LC_BUILD_VERSION"));
  EXPECT_FALSE(mentions(headers, "LC_VERSION_MIN"));
}

TEST(MachOFixtures, ExecutablesOfDifferentNamesHaveDifferentUUIDs) {
  TempDir dir;
  auto first = dwarfdumpUUIDs(buildiOSExecutable(dir.path(), "One", "9.0"));
  auto second = dwarfdumpUUIDs(buildiOSExecutable(dir.path(), "Two", "9.0"));
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(first[0].uuid, second[0].uuid);
  EXPECT_EQ(first[0].architecture, "arm64");
  EXPECT_EQ(first[0].uuid.size(), 32u);
}

TEST(MachOFixtures, FatFileAndItsDSYMCarryTheSameSlices) {
  TempDir dir;
  auto fat = buildFatFile(dir / "App", {buildiOSExecutable(dir.path(), "App-arm64", "9.0"),
                                        buildiOSSimulatorExecutable(dir.path(), "App-sim", "9.0")});
  auto dwarf = buildDSYM(fat, dir / "App.dSYM");
  EXPECT_TRUE(std::filesystem::is_regular_file(dwarf));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "App.dSYM/Contents/Info.plist"));
  auto pairs = dwarfdumpUUIDs(fat);
  EXPECT_EQ(pairs.size(), 2u);
  EXPECT_EQ(dwarfdumpUUIDs(dwarf), pairs);
}

TEST(MachOFixtures, VersionCommandsCanBeRemovedFromEverySlice) {
  TempDir dir;
  auto fat = buildFatFile(dir / "App", {buildiOSExecutable(dir.path(), "App-arm64", "9.0"),
                                        buildMacOSExecutable(dir.path(), "App-mac", "11.0")});
  auto stripped = writeWithoutVersionCommands(fat, dir / "Stripped");
  auto headers = objdumpPrivateHeaders(stripped);
  EXPECT_FALSE(mentions(headers, "LC_VERSION_MIN"));
  EXPECT_FALSE(mentions(headers, "LC_BUILD_VERSION"));
  EXPECT_TRUE(mentions(headers, "LC_UUID"));
  EXPECT_EQ(dwarfdumpUUIDs(stripped), dwarfdumpUUIDs(fat));
}

TEST(MachOFixtures, PatchedSubtypeNamesAnotherArchitecture) {
  TempDir dir;
  auto path = buildMacOSExecutable(dir.path(), "App", "10.15");
  patchThinCPUSubtype(path, 0x80000008);
  auto pairs = dwarfdumpUUIDs(path);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].architecture, "x86_64h");
}

TEST(SampleApp, ScriptLaysOutProductsAsXcodeDoes) {
  TempDir dir;
  auto result = runProcess({"/bin/sh", sourceRoot() + "/scripts/build-sample-app.sh", dir / "out"},
                           {{"PATH", "/usr/bin:/bin"}});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  auto executable = dir / "out/App.app/App";
  auto pairs = dwarfdumpUUIDs(executable);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(dwarfdumpUUIDs(dir / "out/App.app.dSYM/Contents/Resources/DWARF/App"), pairs);
  EXPECT_TRUE(
      mentions(readFile(dir / "out/App.app/Info.plist"), "<string>com.example.App</string>"));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "out/App.app.dSYM/Contents/Info.plist"));
}

TEST(SampleApp, ScriptFailsWithoutOutputFolder) {
  auto result = runProcess({"/bin/sh", sourceRoot() + "/scripts/build-sample-app.sh"},
                           {{"PATH", "/usr/bin:/bin"}});
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.err, "");
}
