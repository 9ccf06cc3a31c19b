// QVXMachOBinary and QVXMachOSlice over hand-made images.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "macho/MachOFormat.h"
#include "macho/QVXMachOBinary.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/TestSupport.h"

using namespace machobuilder;
using machofile::CPU_TYPE_ARM;
using machofile::CPU_TYPE_ARM64;
using machofile::CPU_TYPE_X86_64;
using machofile::LC_BUILD_VERSION;
using machofile::LC_LAZY_LOAD_DYLIB;
using machofile::LC_LOAD_DYLIB;
using machofile::LC_LOAD_UPWARD_DYLIB;
using machofile::LC_LOAD_WEAK_DYLIB;
using machofile::LC_REEXPORT_DYLIB;
using machofile::LC_VERSION_MIN_IPHONEOS;
using machofile::LC_VERSION_MIN_MACOSX;
using machofile::MH_MAGIC;
using machofile::MH_MAGIC_64;
using testsupport::TempDir;

namespace {

std::shared_ptr<QVXMachOBinary> binaryOf(const TempDir& dir, const Bytes& bytes,
                                         const std::string& name = "binary") {
  writeBytes(dir / name, bytes);
  return QVXMachOBinary::MachOBinaryWithPath(dir / name);
}

using Pair = std::pair<std::optional<std::string>, std::string>;

std::vector<Pair> pairsOf(const QVXMachOBinary& binary) {
  std::vector<Pair> pairs;
  binary.enumerateUUIDs([&](const std::optional<std::string>& uuid, const std::string& arch) {
    pairs.emplace_back(uuid, arch);
  });
  return pairs;
}

std::string uuidText(std::uint8_t first) {
  std::string text;
  for (auto byte : uuidFrom(first)) {
    static const char* digits = "0123456789abcdef";
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

// SHA-1 of a text by the system's sha1sum, an answer independent of ours.
std::string sha1sumOf(const TempDir& dir, const std::string& text) {
  testsupport::writeFile(dir / "hash-input", text);
  auto result = testsupport::runProcess({"/usr/bin/sha1sum", dir / "hash-input"}, {});
  return result.out.substr(0, 40);
}

Bytes armv7Armv7sArm64(bool reversed) {
  std::vector<FatEntry> entries = {
      {CPU_TYPE_ARM, 9, MachOImage(MH_MAGIC, CPU_TYPE_ARM, 9).uuid(uuidFrom(0x70)).bytes()},
      {CPU_TYPE_ARM, 11, MachOImage(MH_MAGIC, CPU_TYPE_ARM, 11).uuid(uuidFrom(0x80)).bytes()},
      {CPU_TYPE_ARM64, 0, MachOImage().uuid(uuidFrom(0x90)).bytes()}};
  if (reversed) std::reverse(entries.begin(), entries.end());
  return fatFile(entries);
}

}  // namespace

TEST(QVXMachOBinary, FatFileGivesSliceObjectsInTableOrder) {
  TempDir dir;
  auto binary = binaryOf(dir, armv7Armv7sArm64(false));
  ASSERT_NE(binary, nullptr);
  ASSERT_EQ(binary->slices().size(), 3u);
  EXPECT_EQ(pairsOf(*binary),
            (std::vector<Pair>{
                {uuidText(0x70), "armv7"}, {uuidText(0x80), "armv7s"}, {uuidText(0x90), "arm64"}}));
}

TEST(QVXMachOBinary, InstanceIdentifierHashesUUIDsInNameOrder) {
  TempDir dir;
  auto binary = binaryOf(dir, armv7Armv7sArm64(false));
  std::string expected = sha1sumOf(dir, uuidText(0x90) + uuidText(0x70) + uuidText(0x80));
  EXPECT_EQ(binary->instanceIdentifier(), expected);
}

TEST(QVXMachOBinary, InstanceIdentifierDoesNotDependOnTableOrder) {
  TempDir dir;
  auto forward = binaryOf(dir, armv7Armv7sArm64(false), "forward");
  auto reversed = binaryOf(dir, armv7Armv7sArm64(true), "reversed");
  EXPECT_NE(pairsOf(*forward), pairsOf(*reversed));
  EXPECT_EQ(forward->instanceIdentifier(), reversed->instanceIdentifier());
}

TEST(QVXMachOBinary, InstanceIdentifierIsComputedOnce) {
  TempDir dir;
  auto binary = binaryOf(dir, armv7Armv7sArm64(false));
  std::string first = binary->instanceIdentifier();
  EXPECT_EQ(first.size(), 40u);
  EXPECT_EQ(binary->instanceIdentifier(), first);
}

TEST(QVXMachOBinary, SliceWithoutUUIDContributesNothingToTheIdentifier) {
  TempDir dir;
  auto binary = binaryOf(
      dir, fatFile({{CPU_TYPE_ARM64, 0, MachOImage().uuid(uuidFrom(1)).bytes()},
                    {CPU_TYPE_X86_64, 3, MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 3).bytes()}}));
  EXPECT_EQ(pairsOf(*binary),
            (std::vector<Pair>{{uuidText(1), "arm64"}, {std::nullopt, "x86_64"}}));
  EXPECT_EQ(binary->instanceIdentifier(), sha1sumOf(dir, uuidText(1)));
}

TEST(QVXMachOBinary, ThinFileGivesExactlyOneSlice) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage().uuid(uuidFrom(5)).bytes());
  ASSERT_EQ(binary->slices().size(), 1u);
  EXPECT_EQ(binary->slices()[0]->uuid(), uuidText(5));
}

TEST(QVXMachOBinary, SliceForArchitectureIsCaseSensitive) {
  TempDir dir;
  auto binary = binaryOf(dir, armv7Armv7sArm64(false));
  EXPECT_EQ(binary->sliceForArchitecture("ARM64"), nullptr);
  auto arm64 = binary->sliceForArchitecture("arm64");
  ASSERT_NE(arm64, nullptr);
  EXPECT_EQ(arm64, binary->slices()[2]);
  EXPECT_EQ(binary->sliceForArchitecture("x86_64"), nullptr);
}

TEST(QVXMachOBinary, SliceForArchitectureTakesTheFirstOfTwo) {
  TempDir dir;
  auto binary =
      binaryOf(dir, fatFile({{CPU_TYPE_ARM64, 0, MachOImage().uuid(uuidFrom(1)).bytes()},
                             {CPU_TYPE_ARM64, 0, MachOImage().uuid(uuidFrom(2)).bytes()}}));
  EXPECT_EQ(binary->sliceForArchitecture("arm64")->uuid(), uuidText(1));
}

TEST(QVXMachOBinary, DirectoryMissingFileAndShortFileGiveNone) {
  TempDir dir;
  EXPECT_EQ(QVXMachOBinary::MachOBinaryWithPath(dir.path()), nullptr);
  EXPECT_EQ(QVXMachOBinary::MachOBinaryWithPath(dir / "missing"), nullptr);
  writeBytes(dir / "short", Bytes(15, 0xcf));
  EXPECT_EQ(QVXMachOBinary::MachOBinaryWithPath(dir / "short"), nullptr);
}

TEST(QVXMachOBinary, AbsentURLOrURLWithoutFilePathGivesNone) {
  TempDir dir;
  writeBytes(dir / "binary", MachOImage().bytes());
  EXPECT_EQ(QVXMachOBinary::initWithURL(std::nullopt), nullptr);
  EXPECT_EQ(QVXMachOBinary::initWithURL(
                platform::FileURL::URLWithString("http://host" + (dir / "binary"))),
            nullptr);
  EXPECT_NE(QVXMachOBinary::initWithURL(platform::FileURL::URLWithString(dir / "binary")), nullptr);
}

TEST(QVXMachOBinary, KeepsItsURLAndPath) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage().bytes(), "with space");
  EXPECT_EQ(binary->path(), dir / "with space");
  EXPECT_EQ(binary->URL().absoluteString(), "file://" + dir.path() + "/with%20space");
}

TEST(QVXMachOBinary, FileThatIsNotMachOGivesOneUnknownSlice) {
  TempDir dir;
  auto binary = binaryOf(dir, Bytes(64, 0x41));
  ASSERT_NE(binary, nullptr);
  ASSERT_EQ(binary->slices().size(), 1u);
  auto slice = binary->slices()[0];
  EXPECT_EQ(slice->architectureName(), "unknown");
  EXPECT_EQ(slice->uuid(), std::nullopt);
  EXPECT_TRUE(slice->linkedDylibs().empty());
  EXPECT_EQ(slice->minimumOSVersion(), (QVXMachOVersion{}));
  EXPECT_EQ(slice->linkedSDKVersion(), (QVXMachOVersion{}));
}

TEST(QVXMachOBinary, FatTableWithNoEntriesGivesNoSlices) {
  TempDir dir;
  Bytes bytes = fatFile({});
  bytes.resize(16, 0);
  auto binary = binaryOf(dir, bytes);
  ASSERT_NE(binary, nullptr);
  EXPECT_TRUE(binary->slices().empty());
  EXPECT_TRUE(pairsOf(*binary).empty());
  EXPECT_EQ(binary->instanceIdentifier(), sha1sumOf(dir, ""));
}

TEST(QVXMachOBinary, KeepsTheFileMappedWhileItLives) {
  TempDir dir;
  auto binary = binaryOf(
      dir, MachOImage().segment("__TEXT", {{"__unwind_info", 0x200}}).padding(0x400).bytes());
  std::filesystem::remove(dir / "binary");
  const std::uint8_t* unwindInfo = binary->slices()[0]->unwindInfoData();
  ASSERT_NE(unwindInfo, nullptr);
  EXPECT_EQ(unwindInfo[0], 0);
}

TEST(QVXMachOBinary, ClosesItsFileWhenDestroyed) {
  TempDir dir;
  auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  writeBytes(dir / "binary", MachOImage().bytes());
  auto before = openFiles();
  auto binary = QVXMachOBinary::MachOBinaryWithPath(dir / "binary");
  EXPECT_EQ(openFiles(), before + 1);
  binary.reset();
  EXPECT_EQ(openFiles(), before);
}

TEST(QVXMachOBinary, SlicesOutlivingTheirBinaryStopGivingSections) {
  TempDir dir;
  auto binary =
      binaryOf(dir, MachOImage()
                        .uuid(uuidFrom(3))
                        .segment("__TEXT", {{"__unwind_info", 0x200}, {"__eh_frame", 0x240}})
                        .padding(0x400)
                        .bytes());
  auto slice = binary->slices()[0];
  EXPECT_NE(slice->unwindInfoData(), nullptr);
  binary.reset();
  EXPECT_EQ(slice->unwindInfoData(), nullptr);
  EXPECT_EQ(slice->ehFrameData(), nullptr);
  EXPECT_EQ(slice->uuid(), uuidText(3));
}

TEST(QVXMachOSliceObject, LastUUIDCommandWins) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage().uuid(uuidFrom(1)).uuid(uuidFrom(2)).bytes());
  EXPECT_EQ(binary->slices()[0]->uuid(), uuidText(2));
}

TEST(QVXMachOSliceObject, LaterVersionMinimumCommandWins) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage()
                                  .versionMinimum(LC_VERSION_MIN_MACOSX, 0x000A0900, 0x000A0C00)
                                  .versionMinimum(LC_VERSION_MIN_IPHONEOS, 0x00070100, 0x00080000)
                                  .bytes());
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{7, 1, 0}));
  EXPECT_EQ(binary->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{8, 0, 0}));
}

TEST(QVXMachOSliceObject, BuildVersionCommandGivesTheVersions) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage().buildVersion(1, 0x000B0000, 0x000C0100).bytes());
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{11, 0, 0}));
  EXPECT_EQ(binary->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{12, 1, 0}));
}

TEST(QVXMachOSliceObject, BuildVersionCountsForMacOSiOSCatalystAndTheSimulator) {
  TempDir dir;
  for (std::uint32_t platform :
       {machofile::PLATFORM_MACOS, machofile::PLATFORM_IOS, machofile::PLATFORM_MACCATALYST,
        machofile::PLATFORM_IOSSIMULATOR}) {
    auto binary =
        binaryOf(dir, MachOImage().buildVersion(platform, 0x00040300, 0x000E0000).bytes());
    EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{4, 3, 0})) << platform;
    EXPECT_EQ(binary->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{14, 0, 0})) << platform;
  }
}

// Another system's version says nothing about the iOS or OS X rules: the
// slice reads as having no version command at all.
TEST(QVXMachOSliceObject, BuildVersionOfAnotherSystemIsNotAVersionCommand) {
  TempDir dir;
  for (std::uint32_t platform :
       {machofile::PLATFORM_TVOS, machofile::PLATFORM_WATCHOS, machofile::PLATFORM_BRIDGEOS,
        machofile::PLATFORM_TVOSSIMULATOR, machofile::PLATFORM_WATCHOSSIMULATOR,
        machofile::PLATFORM_DRIVERKIT, machofile::PLATFORM_VISIONOS,
        machofile::PLATFORM_VISIONOSSIMULATOR, 0u, 99u}) {
    auto binary =
        binaryOf(dir, MachOImage().buildVersion(platform, 0x00010000, 0x00010000).bytes());
    EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{0, 0, 0})) << platform;
    EXPECT_EQ(binary->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{0, 0, 0})) << platform;
  }
}

// An iOS version-minimum command is kept when a later build version names
// another system.
TEST(QVXMachOSliceObject, BuildVersionOfAnotherSystemLeavesAnEarlierVersionCommand) {
  TempDir dir;
  auto binary =
      binaryOf(dir, MachOImage()
                        .versionMinimum(LC_VERSION_MIN_IPHONEOS, 0x00090000, 0x000E0000)
                        .buildVersion(machofile::PLATFORM_VISIONOS, 0x00010000, 0x00010000)
                        .bytes());
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{9, 0, 0}));
}

TEST(QVXMachOSliceObject, BuildVersionTooShortForItsPlatformIsNotAVersionCommand) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage().command(LC_BUILD_VERSION, {}).bytes());
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{0, 0, 0}));
}

TEST(QVXMachOSliceObject, PackedSevenReadsAsSevenZeroZero) {
  TempDir dir;
  auto binary =
      binaryOf(dir, MachOImage().versionMinimum(LC_VERSION_MIN_IPHONEOS, 0x00070000, 0).bytes());
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{7, 0, 0}));
}

TEST(QVXMachOSliceObject, OnlyPlainLibraryLoadsAreListed) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage()
                                  .dylib(LC_LOAD_DYLIB, "/usr/lib/libSystem.B.dylib")
                                  .dylib(LC_LOAD_WEAK_DYLIB, "/usr/lib/libWeak.dylib")
                                  .dylib(LC_LOAD_DYLIB, "/usr/lib/libobjc.A.dylib")
                                  .dylib(LC_REEXPORT_DYLIB, "/usr/lib/libReexport.dylib")
                                  .dylib(LC_LAZY_LOAD_DYLIB, "/usr/lib/libLazy.dylib")
                                  .dylib(LC_LOAD_UPWARD_DYLIB, "/usr/lib/libUpward.dylib")
                                  .dylib(LC_LOAD_DYLIB, "@rpath/Brantle.framework/Brantle")
                                  .bytes());
  EXPECT_EQ(binary->slices()[0]->linkedDylibs(),
            (std::vector<std::string>{"/usr/lib/libSystem.B.dylib", "/usr/lib/libobjc.A.dylib",
                                      "@rpath/Brantle.framework/Brantle"}));
}

TEST(QVXMachOSliceObject, LibraryPathThatIsNotUTF8IsSkipped) {
  TempDir dir;
  auto binary = binaryOf(dir, MachOImage()
                                  .dylib(LC_LOAD_DYLIB, "/usr/lib/\xff\xfe.dylib")
                                  .dylib(LC_LOAD_DYLIB, "/usr/lib/libz.dylib")
                                  .bytes());
  EXPECT_EQ(binary->slices()[0]->linkedDylibs(), std::vector<std::string>{"/usr/lib/libz.dylib"});
}

TEST(QVXMachOSliceObject, ArchitectureComesFromTheSlicesOwnHeader) {
  TempDir dir;
  // The table says arm64; the slice's own header says x86_64h.
  auto binary = binaryOf(
      dir, fatFile({{CPU_TYPE_ARM64, 0, MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 8).bytes()}}));
  EXPECT_EQ(binary->slices()[0]->architectureName(), "x86_64h");
}

TEST(QVXMachOSliceObject, RunningSliceHasNoImageOnLinux) {
  auto slice = QVXMachOSlice::runningSlice();
  ASSERT_NE(slice, nullptr);
  EXPECT_EQ(slice->architectureName(), "unknown");
  EXPECT_EQ(slice->uuid(), std::nullopt);
  EXPECT_EQ(slice->unwindInfoData(), nullptr);
  EXPECT_EQ(slice->minimumOSVersion(), (QVXMachOVersion{}));
}

TEST(QVXMachOSliceObject, KnowsWhetherItHoldsAMachOHeader) {
  TempDir dir;
  EXPECT_TRUE(binaryOf(dir, MachOImage().bytes(), "thin")->slices()[0]->hasMachOHeader());
  EXPECT_FALSE(binaryOf(dir, Bytes(64, 0x41), "text")->slices()[0]->hasMachOHeader());
  Bytes fat =
      fatFile({{CPU_TYPE_ARM64, 0, MachOImage().bytes()}, {CPU_TYPE_X86_64, 3, Bytes(40, 0)}});
  auto binary = binaryOf(dir, fat, "fat");
  ASSERT_EQ(binary->slices().size(), 2u);
  EXPECT_TRUE(binary->slices()[0]->hasMachOHeader());
  EXPECT_FALSE(binary->slices()[1]->hasMachOHeader());
}
