// A slice stored in the other byte order (big-endian, as PowerPC slices are)
// reads like the same slice stored in the host's order. Real files mixing
// the orders are in completeness_test and real_files_test.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "macho/QVXMachO.h"
#include "macho/QVXMachOBinary.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/TestSupport.h"

using namespace machofile;
using namespace machobuilder;
using testsupport::TempDir;

namespace {

struct Row {
  const char* name;
  std::uint32_t magic;  // the host-order magic; the other order is its byte swap
  std::int32_t cputype;
  std::int32_t cpusubtype;
  const char* architecture;
};

// Every row is read stored in both byte orders (the second parameter: the
// other order), so each fact below is checked for both.
class MachOByteOrder : public ::testing::TestWithParam<std::tuple<Row, bool>> {
 protected:
  const Row& row() const { return std::get<0>(GetParam()); }
  MachOImage image() const {
    const std::uint32_t magic =
        std::get<1>(GetParam()) ? __builtin_bswap32(row().magic) : row().magic;
    return MachOImage(magic, row().cputype, row().cpusubtype, MH_DSYM);
  }

  // The binary of the bytes, once written to disk.
  std::shared_ptr<QVXMachOBinary> open(const Bytes& bytes) const {
    writeBytes(dir_ / "image", bytes);
    return QVXMachOBinary::MachOBinaryWithPath(dir_ / "image");
  }

 private:
  TempDir dir_;
};

const Row kRows[] = {
    {"PowerPC", MH_MAGIC, CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_ALL, "ppc"},
    {"PowerPC64", MH_MAGIC_64, CPU_TYPE_POWERPC64, CPU_SUBTYPE_POWERPC_ALL, "ppc64"},
    {"PowerPC7400", MH_MAGIC, CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_7400, "ppc7400"},
    {"X86_64", MH_MAGIC_64, CPU_TYPE_X86_64, CPU_SUBTYPE_X86_64_ALL, "x86_64"},
};

}  // namespace

// The header gives the CPU fields, and each command the readers decode the
// values it was written with.
TEST_P(MachOByteOrder, CommandsGiveTheValuesTheyHold) {
  const bool wide = image().is64();
  const Bytes bytes =
      image()
          .versionMinimum(LC_VERSION_MIN_MACOSX, 0x000a0400, 0x000a0500)
          .buildVersion(PLATFORM_IOS, 0x00070100, 0x00080002)
          .dylib(LC_LOAD_WEAK_DYLIB, "/usr/lib/libWeak.dylib")
          .dylib(LC_LOAD_DYLIB, "/usr/lib/libSystem.B.dylib")
          .encryptionInfo(wide ? LC_ENCRYPTION_INFO_64 : LC_ENCRYPTION_INFO, 1)
          .segment("__TEXT", {{"__text", 0x200}, {"__unwind_info", 0x240}}, {0, 0x400})
          .uuid(uuidFrom(0x10))
          .padding(0x400)
          .bytes();
  machofile::QVXMachOSlice record = QVXMachOSliceWithHeader(bytes.data(), bytes.size());
  std::vector<std::uint32_t> cmds;
  QVXMachOSliceEnumerateLoadCommands(
      &record, [&](std::uint32_t cmd, std::uint32_t cmdsize, const void* command) {
        cmds.push_back(cmd);
        load_command start;  // what the readers take the command's size from
        std::memcpy(&start, command, sizeof start);
        EXPECT_EQ(start.cmdsize, cmdsize);
        if (cmd == LC_VERSION_MIN_MACOSX) {
          EXPECT_EQ(QVXMachOGetMinimumOSVersion(command), (QVXMachOVersion{10, 4, 0}));
          EXPECT_EQ(QVXMachOGetLinkedSDKVersion(command), (QVXMachOVersion{10, 5, 0}));
        }
        if (cmd == LC_ENCRYPTION_INFO || cmd == LC_ENCRYPTION_INFO_64) {
          EXPECT_TRUE(QVXMachOGetEncrypted(command));
        }
      });
  EXPECT_EQ(cmds, (std::vector<std::uint32_t>{LC_VERSION_MIN_MACOSX, LC_BUILD_VERSION,
                                              LC_LOAD_WEAK_DYLIB, LC_LOAD_DYLIB,
                                              wide ? LC_ENCRYPTION_INFO_64 : LC_ENCRYPTION_INFO,
                                              wide ? LC_SEGMENT_64 : LC_SEGMENT, LC_UUID}));
  EXPECT_EQ(record.cputype, row().cputype);  // the walk rewrites it from the header
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&record), row().architecture);
  auto slice = ::QVXMachOSlice::initWithSlice(&record);
  EXPECT_EQ(slice->uuid(), "101112131415161718191a1b1c1d1e1f");
  EXPECT_EQ(slice->buildPlatform(), PLATFORM_IOS);
  EXPECT_EQ(slice->minimumOSVersion(), (QVXMachOVersion{7, 1, 0}));
  EXPECT_EQ(slice->linkedSDKVersion(), (QVXMachOVersion{8, 0, 2}));
  EXPECT_EQ(slice->linkedDylibs(), std::vector<std::string>{"/usr/lib/libSystem.B.dylib"});
  EXPECT_EQ(slice->unwindInfoData(), bytes.data() + 0x240);
}

// A segment's file range must lie in its slice; an empty one may say any
// offset. Read in the wrong order, the header's command area would already
// run past the slice, so the complete rows check it too.
TEST_P(MachOByteOrder, SegmentsOutsideTheirSliceMakeItIncomplete) {
  constexpr std::uint64_t kSize = 0x1000;
  const struct {
    FileRange range;
    bool complete;
  } segments[] = {{{0, kSize}, true},
                  {{0x800, kSize - 0x800}, true},
                  {{kSize + 0x10, 0}, true},
                  {{0, kSize + 1}, false},
                  {{kSize, 0x10}, false}};
  for (const auto& segment : segments) {
    Bytes bytes = image().segment("__DWARF", {}, segment.range).uuid(uuidFrom(1)).bytes();
    bytes.resize(kSize);
    auto binary = open(bytes);
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(binary->isComplete(), segment.complete) << segment.range.offset;
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, MachOByteOrder,
                         ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
                         [](const auto& row) {
                           return std::string(std::get<0>(row.param).name) +
                                  (std::get<1>(row.param) ? "OtherOrder" : "HostOrder");
                         });
