// Mach-O files made by real toolchains: the machine's LLVM, and Apple's
// toolchains through the shared corpus. Every answer is compared with what
// llvm-dwarfdump and llvm-objdump read from the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "macho/QVXMachO.h"
#include "macho/QVXMachOBinary.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

using testsupport::TempDir;
using testsupport::UUIDAndArchitecture;

namespace {

// The Apple-built files lie in the shared folder beside the repository.
const std::string kCorpus = testsupport::sourceRoot() + "/../shared/corpus/macho/";

std::vector<UUIDAndArchitecture> pairsOf(const QVXMachOBinary& binary) {
  std::vector<UUIDAndArchitecture> pairs;
  binary.enumerateUUIDs([&](const std::optional<std::string>& uuid, const std::string& arch) {
    pairs.push_back({uuid.value_or("(none)"), arch});
  });
  return pairs;
}

// Values of "KEY VALUE" lines of llvm-objdump's load-command listing that
// follow a line "FIELD WANTED", e.g. the "offset" after "sectname __unwind_info".
std::vector<std::string> objdumpValuesAfter(const std::string& listing, const std::string& field,
                                            const std::string& wanted, const std::string& key) {
  std::vector<std::string> values;
  std::istringstream lines(listing);
  std::string line;
  bool inWanted = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (first == field) inWanted = second == wanted;
    if (inWanted && first == key) {
      values.push_back(second);
      inWanted = false;
    }
  }
  return values;
}

// Real files built once for the whole suite.
class RealMachOFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    const std::string& d = dir_->path();
    iOS_ = testsupport::buildiOSExecutable(d, "ios", "9.0");
    mac106_ = testsupport::buildMacOSExecutable(d, "mac106", "10.6.8");
    mac1015_ = testsupport::buildMacOSExecutable(d, "mac1015", "10.15");
    simulator_ = testsupport::buildiOSSimulatorExecutable(d, "simulator", "9.0");
    watch_ = testsupport::buildWatchOSExecutable(d, "watch", "5.0");
    fat_ = testsupport::buildFatFile(d + "/fat", {iOS_, simulator_, watch_});
    dwarf_ = testsupport::buildDSYM(fat_, d + "/fat.dSYM");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static void expectPairsEqualDwarfdump(const std::string& path) {
    auto binary = QVXMachOBinary::MachOBinaryWithPath(path);
    ASSERT_NE(binary, nullptr) << path;
    auto expected = testsupport::dwarfdumpUUIDs(path);
    ASSERT_FALSE(expected.empty()) << path;
    EXPECT_EQ(pairsOf(*binary), expected) << path;
  }

  static inline TempDir* dir_ = nullptr;
  static inline std::string iOS_, mac106_, mac1015_, simulator_, watch_, fat_, dwarf_;
};

}  // namespace

TEST_F(RealMachOFiles, ThinArm64iOSMatchesDwarfdump) { expectPairsEqualDwarfdump(iOS_); }

TEST_F(RealMachOFiles, ThinMacOSAtTenSixMatchesDwarfdump) { expectPairsEqualDwarfdump(mac106_); }

TEST_F(RealMachOFiles, ThinMacOSAtTenFifteenMatchesDwarfdump) {
  expectPairsEqualDwarfdump(mac1015_);
}

TEST_F(RealMachOFiles, SimulatorMatchesDwarfdump) { expectPairsEqualDwarfdump(simulator_); }

TEST_F(RealMachOFiles, Arm64_32WatchOSMatchesDwarfdump) { expectPairsEqualDwarfdump(watch_); }

TEST_F(RealMachOFiles, FatFileMatchesDwarfdumpInSliceOrder) {
  expectPairsEqualDwarfdump(fat_);
  EXPECT_EQ(QVXMachOBinary::MachOBinaryWithPath(fat_)->slices().size(), 3u);
}

TEST_F(RealMachOFiles, FatFileWithEntriesOutOfOffsetOrderMatchesDwarfdump) {
  TempDir dir;
  auto swapped = testsupport::writeWithFatEntriesSwapped(fat_, dir / "swapped", 0, 2);
  auto original = testsupport::dwarfdumpUUIDs(fat_);
  auto expected = testsupport::dwarfdumpUUIDs(swapped);
  ASSERT_EQ(expected.size(), 3u);
  ASSERT_EQ(expected[0], original[2]);  // dwarfdump follows the table too
  expectPairsEqualDwarfdump(swapped);
}

TEST_F(RealMachOFiles, SixtyFourBitFatFileMatchesDwarfdump) {
  TempDir dir;
  auto fat64 = testsupport::writeAsFat64(fat_, dir / "fat64");
  ASSERT_EQ(testsupport::readFile(fat64).substr(0, 4), "\xca\xfe\xba\xbf");
  EXPECT_EQ(testsupport::dwarfdumpUUIDs(fat64), testsupport::dwarfdumpUUIDs(fat_));
  expectPairsEqualDwarfdump(fat64);
  auto binary = QVXMachOBinary::MachOBinaryWithPath(fat64);
  ASSERT_EQ(binary->slices().size(), 3u);
  EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{9, 0, 0}));
}

TEST_F(RealMachOFiles, DWARFFileOfTheDSYMMatchesDwarfdump) {
  expectPairsEqualDwarfdump(dwarf_);
  EXPECT_EQ(testsupport::dwarfdumpUUIDs(dwarf_), testsupport::dwarfdumpUUIDs(fat_));
}

// Big-endian PowerPC slices beside the little-endian ones, as in the dSYMs
// of older libraries: each slice gives dwarfdump's pair, and the file is
// complete.
TEST_F(RealMachOFiles, DWARFFileWithBigEndianSlicesMatchesDwarfdump) {
  TempDir dir;
  auto mixed = testsupport::writeWithBigEndianSlices(dwarf_, dir / "mixed");
  auto expected = testsupport::dwarfdumpUUIDs(mixed);
  ASSERT_EQ(expected.size(), 5u);
  for (const UUIDAndArchitecture& added :
       {UUIDAndArchitecture{"404142434445464748494a4b4c4d4e4f", "ppc"},
        UUIDAndArchitecture{"505152535455565758595a5b5c5d5e5f", "ppc64"}})
    EXPECT_EQ(std::count(expected.begin(), expected.end(), added), 1) << added.architecture;
  expectPairsEqualDwarfdump(mixed);
  EXPECT_TRUE(QVXMachOBinary::MachOBinaryWithPath(mixed)->isComplete());
}

TEST_F(RealMachOFiles, PatchedSubtypesMatchDwarfdump) {
  TempDir dir;
  auto x86_64h = testsupport::buildMacOSExecutable(dir.path(), "haswell", "10.15");
  testsupport::patchThinCPUSubtype(x86_64h, 0x80000008);
  auto arm64e = testsupport::buildiOSExecutable(dir.path(), "pointerauth", "14.0");
  testsupport::patchThinCPUSubtype(arm64e, 0x80000002);
  expectPairsEqualDwarfdump(x86_64h);
  expectPairsEqualDwarfdump(arm64e);
  expectPairsEqualDwarfdump(testsupport::buildFatFile(dir / "fat", {x86_64h, arm64e}));
}

TEST_F(RealMachOFiles, MinimumVersionsFromVersionMinimumCommands) {
  auto iOS = QVXMachOBinary::MachOBinaryWithPath(iOS_);
  EXPECT_EQ(iOS->slices()[0]->minimumOSVersion(), (QVXMachOVersion{9, 0, 0}));
  EXPECT_EQ(iOS->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{14, 0, 0}));
  auto mac = QVXMachOBinary::MachOBinaryWithPath(mac106_);
  EXPECT_EQ(mac->slices()[0]->minimumOSVersion(), (QVXMachOVersion{10, 6, 8}));
}

TEST_F(RealMachOFiles, MinimumVersionFromBuildVersionCommand) {
  auto mac = QVXMachOBinary::MachOBinaryWithPath(mac1015_);
  EXPECT_EQ(mac->slices()[0]->minimumOSVersion(), (QVXMachOVersion{10, 15, 0}));
  EXPECT_EQ(mac->slices()[0]->linkedSDKVersion(), (QVXMachOVersion{11, 0, 0}));
}

// A watchOS build version is another system's: no version command for the
// iOS and OS X rules.
TEST_F(RealMachOFiles, WatchOSBuildVersionGivesNoMinimumVersion) {
  auto headers = testsupport::objdumpPrivateHeaders(watch_);
  ASSERT_NE(headers.find("cmd LC_BUILD_VERSION"), std::string::npos) << headers;
  ASSERT_NE(headers.find("platform watchos"), std::string::npos) << headers;
  auto watch = QVXMachOBinary::MachOBinaryWithPath(watch_);
  EXPECT_EQ(watch->slices()[0]->minimumOSVersion(), (QVXMachOVersion{0, 0, 0}));
  auto fat = QVXMachOBinary::MachOBinaryWithPath(fat_);
  EXPECT_EQ(fat->sliceForArchitecture("arm64")->minimumOSVersion(), (QVXMachOVersion{9, 0, 0}));
  EXPECT_EQ(fat->sliceForArchitecture("arm64_32")->minimumOSVersion(), (QVXMachOVersion{0, 0, 0}));
}

TEST_F(RealMachOFiles, UnwindSectionsAreWhereObjdumpPutsThem) {
  for (const auto& path : {iOS_, mac106_, watch_}) {
    auto offsets = objdumpValuesAfter(testsupport::objdumpPrivateHeaders(path), "sectname",
                                      "__unwind_info", "offset");
    ASSERT_EQ(offsets.size(), 1u) << path;
    auto binary = QVXMachOBinary::MachOBinaryWithPath(path);
    auto start = static_cast<const std::uint8_t*>(binary->slices()[0]->sliceRecord().startAddress);
    EXPECT_EQ(binary->slices()[0]->unwindInfoData(), start + std::stoul(offsets[0])) << path;
    auto ehFrame = objdumpValuesAfter(testsupport::objdumpPrivateHeaders(path), "sectname",
                                      "__eh_frame", "offset");
    EXPECT_EQ(binary->slices()[0]->ehFrameData(),
              ehFrame.empty() ? nullptr : start + std::stoul(ehFrame[0]))
        << path;
  }
}

TEST_F(RealMachOFiles, UnwindInfoOfEachFatSliceIsInsideThatSlice) {
  auto binary = QVXMachOBinary::MachOBinaryWithPath(fat_);
  for (const auto& slice : binary->slices()) {
    auto start = static_cast<const std::uint8_t*>(slice->sliceRecord().startAddress);
    ASSERT_NE(slice->unwindInfoData(), nullptr) << slice->architectureName();
    EXPECT_GT(slice->unwindInfoData(), start);
    EXPECT_LT(slice->unwindInfoData(), start + slice->sliceRecord().availableSize);
  }
}

TEST(AppleToolchainFiles, MatchDwarfdump) {
  for (const char* name :
       {"clang-386-darwin-exec-with-rpath", "clang-amd64-darwin-exec-with-rpath",
        "clang-arm64-darwin-exec", "clang-arm64-darwin-exec-debug", "fat-gcc-386-amd64-darwin-exec",
        "gcc-386-darwin-exec", "gcc-amd64-darwin-exec", "gcc-amd64-darwin-exec-debug"}) {
    auto binary = QVXMachOBinary::MachOBinaryWithPath(kCorpus + name);
    ASSERT_NE(binary, nullptr) << name;
    EXPECT_EQ(pairsOf(*binary), testsupport::dwarfdumpUUIDs(kCorpus + name)) << name;
  }
}

TEST(AppleToolchainFiles, LinkedLibrariesMatchObjdump) {
  for (const char* name :
       {"gcc-amd64-darwin-exec", "clang-arm64-darwin-exec", "clang-amd64-darwin-exec-with-rpath"}) {
    auto names = objdumpValuesAfter(testsupport::objdumpPrivateHeaders(kCorpus + name), "cmd",
                                    "LC_LOAD_DYLIB", "name");
    auto binary = QVXMachOBinary::MachOBinaryWithPath(kCorpus + name);
    ASSERT_FALSE(names.empty()) << name;
    EXPECT_EQ(binary->slices()[0]->linkedDylibs(), names) << name;
  }
}

TEST(AppleToolchainFiles, MalformedSymbolTableStillGivesItsUUID) {
  auto binary =
      QVXMachOBinary::MachOBinaryWithPath(kCorpus + "gcc-amd64-darwin-exec-with-bad-dysym");
  ASSERT_NE(binary, nullptr);
  EXPECT_EQ(pairsOf(*binary),
            (std::vector<UUIDAndArchitecture>{{"3b24b8720e4576d428aaee89b0c1215d", "x86_64"}}));
}

TEST(AppleToolchainFiles, ObjectFilesHaveNoUUIDButAVersion) {
  for (auto [name, arch] :
       {std::pair{"clang-386-darwin.obj", "i386"}, std::pair{"clang-amd64-darwin.obj", "x86_64"}}) {
    auto binary = QVXMachOBinary::MachOBinaryWithPath(kCorpus + name);
    ASSERT_NE(binary, nullptr) << name;
    ASSERT_EQ(binary->slices().size(), 1u);
    EXPECT_EQ(binary->slices()[0]->uuid(), std::nullopt);
    EXPECT_EQ(binary->slices()[0]->architectureName(), arch);
    EXPECT_EQ(binary->slices()[0]->minimumOSVersion(), (QVXMachOVersion{10, 12, 0}));
  }
}
