// A slice stored in the other byte order (big-endian, as PowerPC slices are)
// reads like the same slice stored in the host's order, thin or beside a
// host-order slice in a fat file.

#include <gtest/gtest.h>

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

  // The file's slices as the binary reads them, once written to disk.
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

TEST_P(MachOByteOrder, HeaderGivesTheSliceItsCPU) {
  const Bytes bytes = image().uuid(uuidFrom(1)).bytes();
  std::vector<machofile::QVXMachOSlice> walked;
  QVXMachOEnumerateSlicesAtAddress(
      bytes.data(), bytes.size(),
      [&](const machofile::QVXMachOSlice* slice) { walked.push_back(*slice); });
  ASSERT_EQ(walked.size(), 1u);
  EXPECT_EQ(walked[0].cputype, row().cputype);
  EXPECT_EQ(walked[0].cpusubtype, row().cpusubtype);
  // The command walk rewrites a record's CPU fields from the same header.
  machofile::QVXMachOSlice slice = QVXMachOSliceWithHeader(bytes.data(), bytes.size());
  QVXMachOSliceEnumerateLoadCommands(&slice, [](std::uint32_t, std::uint32_t, const void*) {});
  EXPECT_EQ(slice.cputype, row().cputype);
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slice), row().architecture);
}

// The header's command area must lie in the slice, in either order: whole,
// the file is complete; one byte short of the area, it is not.
TEST_P(MachOByteOrder, CommandAreaPastTheFileIsIncomplete) {
  const Bytes whole = image().uuid(uuidFrom(1)).bytes();
  auto binary = open(whole);
  ASSERT_NE(binary, nullptr);
  EXPECT_TRUE(binary->isComplete());
  binary = open(Bytes(whole.begin(), whole.end() - 1));
  ASSERT_NE(binary, nullptr);
  EXPECT_FALSE(binary->isComplete());
}

INSTANTIATE_TEST_SUITE_P(Slices, MachOByteOrder,
                         ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
                         [](const auto& row) {
                           return std::string(std::get<0>(row.param).name) +
                                  (std::get<1>(row.param) ? "OtherOrder" : "HostOrder");
                         });
