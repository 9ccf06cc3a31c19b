// The slice walk over thin, fat and unrecognised images.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "macho/QVXMachO.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/TestSupport.h"

using namespace machofile;
using namespace machobuilder;
using testsupport::TempDir;

namespace {

// An image file opened for one test and closed at its end.
class OpenFile {
 public:
  OpenFile(const TempDir& dir, const Bytes& bytes) {
    writeBytes(dir / "image", bytes);
    opened_ = QVXMachOFileInitWithPath(&file_, (dir / "image").c_str());
  }
  ~OpenFile() { QVXMachOFileDestroy(&file_); }
  bool opened() const { return opened_; }
  const QVXMachOFile* get() const { return &file_; }
  const std::uint8_t* start() const { return static_cast<const std::uint8_t*>(file_.mappedFile); }

 private:
  QVXMachOFile file_;
  bool opened_ = false;
};

std::vector<QVXMachOSlice> slicesOf(const OpenFile& file) {
  std::vector<QVXMachOSlice> slices;
  QVXMachOFileEnumerateSlices(file.get(),
                              [&](const QVXMachOSlice* slice) { slices.push_back(*slice); });
  return slices;
}

}  // namespace

TEST(MachOSliceWalk, ThinFileYieldsOneSliceFromItsHeader) {
  TempDir dir;
  OpenFile file(dir, MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 0x80000003).bytes());
  ASSERT_TRUE(file.opened());
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].startAddress, file.start());
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_X86_64);
  EXPECT_EQ(static_cast<std::uint32_t>(slices[0].cpusubtype), 0x80000003u);
}

TEST(MachOSliceWalk, ThirtyTwoBitThinFileYieldsOneSlice) {
  TempDir dir;
  OpenFile file(dir, MachOImage(MH_MAGIC, CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7).bytes());
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_ARM);
  EXPECT_EQ(slices[0].cpusubtype, CPU_SUBTYPE_ARM_V7);
}

TEST(MachOSliceWalk, SixteenBytesOfOtherDataYieldOneUnknownSlice) {
  TempDir dir;
  OpenFile file(dir, Bytes(16, 0x41));
  ASSERT_TRUE(file.opened());
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].startAddress, file.start());
  EXPECT_EQ(slices[0].cputype, 0);
  EXPECT_EQ(slices[0].cpusubtype, 0);
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[0]), "unknown");
  int calls = 0;
  QVXMachOSliceEnumerateLoadCommands(&slices[0],
                                     [&](std::uint32_t, std::uint32_t, const void*) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(MachOSliceWalk, FatFileYieldsSlicesInTableOrderWithTableCPUValues) {
  TempDir dir;
  Bytes arm64 = MachOImage(MH_MAGIC_64, CPU_TYPE_ARM64, 0).bytes();
  Bytes armv7 = MachOImage(MH_MAGIC, CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7).bytes();
  // The table says armv7s for the second slice; its header says armv7.
  OpenFile file(dir, fatFile({{CPU_TYPE_ARM64, 0, arm64}, {CPU_TYPE_ARM, 11, armv7}}));
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 2u);
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[0]), "arm64");
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[1]), "armv7s");
  EXPECT_EQ(std::memcmp(slices[0].startAddress, arm64.data(), arm64.size()), 0);
  EXPECT_EQ(std::memcmp(slices[1].startAddress, armv7.data(), armv7.size()), 0);
  // The load-command walk rewrites the CPU values from the slice's header.
  QVXMachOSliceEnumerateLoadCommands(&slices[1], [](std::uint32_t, std::uint32_t, const void*) {});
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[1]), "armv7");
}

TEST(MachOSliceWalk, FatFileReadsTheSameInEitherMagicOrder) {
  TempDir dir;
  Bytes image = MachOImage().bytes();
  // Bytes BE BA FE CA: the magic reads 0xcafebabe on this host.
  OpenFile file(dir, fatFile({{CPU_TYPE_ARM64, 0, image}}, FAT_CIGAM));
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_ARM64);
}

TEST(MachOSliceWalk, FatTableWithNoEntriesYieldsNoSlice) {
  TempDir dir;
  Bytes bytes = fatFile({});
  bytes.resize(16, 0);
  OpenFile file(dir, bytes);
  ASSERT_TRUE(file.opened());
  EXPECT_TRUE(slicesOf(file).empty());
}

TEST(MachOSliceWalk, SixtyFourBitFatTableYieldsSlicesInTableOrder) {
  TempDir dir;
  Bytes arm64 = MachOImage(MH_MAGIC_64, CPU_TYPE_ARM64, 0).uuid(uuidFrom(1)).bytes();
  Bytes x86 = MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 3).uuid(uuidFrom(2)).bytes();
  for (std::uint32_t magic : {FAT_MAGIC_64, FAT_CIGAM_64}) {
    OpenFile file(dir, fatFile({{CPU_TYPE_ARM64, 0, arm64}, {CPU_TYPE_X86_64, 3, x86}}, magic));
    auto slices = slicesOf(file);
    ASSERT_EQ(slices.size(), 2u) << std::hex << magic;
    EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[0]), "arm64");
    EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[1]), "x86_64");
    EXPECT_EQ(slices[0].availableSize, arm64.size());
    EXPECT_EQ(std::memcmp(slices[0].startAddress, arm64.data(), arm64.size()), 0);
    EXPECT_EQ(std::memcmp(slices[1].startAddress, x86.data(), x86.size()), 0);
  }
}

TEST(MachOSliceWalk, SixtyFourBitFatOffsetsAboveFourGiBAreNotCutToThirtyTwoBits) {
  TempDir dir;
  Bytes image = MachOImage().bytes();
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, image}}, FAT_MAGIC_64);
  // Offset 2^32 + the real offset: past the end, so nothing is reported,
  // where a 32-bit reading of the low word would find the slice.
  bytes[8 + 8 + 3] = 1;
  OpenFile file(dir, bytes);
  EXPECT_TRUE(slicesOf(file).empty());
}

TEST(MachOSliceWalk, TableOrderIsKeptWhateverTheOffsetsOrder) {
  TempDir dir;
  Bytes first = MachOImage(MH_MAGIC_64, CPU_TYPE_ARM64, 0).uuid(uuidFrom(1)).bytes();
  Bytes second = MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 3).uuid(uuidFrom(2)).bytes();
  Bytes third = MachOImage(MH_MAGIC, CPU_TYPE_ARM, 9).uuid(uuidFrom(3)).bytes();
  Bytes bytes =
      fatFile({{CPU_TYPE_ARM64, 0, first}, {CPU_TYPE_X86_64, 3, second}, {CPU_TYPE_ARM, 9, third}});
  // The table now lists the last slice first and the first slice last.
  swapFatEntries(bytes, 0, 2);
  OpenFile file(dir, bytes);
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 3u);
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[0]), "armv7");
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[1]), "x86_64");
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[2]), "arm64");
  EXPECT_EQ(std::memcmp(slices[0].startAddress, third.data(), third.size()), 0);
  EXPECT_EQ(std::memcmp(slices[2].startAddress, first.data(), first.size()), 0);
}

TEST(MachOSliceWalk, OtherByteOrderHeadersAreReadInTheirOwnOrder) {
  TempDir dir;
  OpenFile file(dir, MachOImage(MH_CIGAM_64, 0x0c000001, 0).bytes());
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].cputype, 0x0c000001);
  EXPECT_EQ(file.start()[4], 0x0c);  // stored big-endian, as written
}

TEST(MachOSliceWalk, SliceByNameTakesTheLastMatch) {
  TempDir dir;
  Bytes image = MachOImage().bytes();
  OpenFile file(dir, fatFile({{CPU_TYPE_ARM64, 0, image},
                              {CPU_TYPE_X86_64, 3, image},
                              {CPU_TYPE_ARM64, 0, image}}));
  auto slices = slicesOf(file);
  ASSERT_EQ(slices.size(), 3u);
  QVXMachOSlice found = QVXMachOFileSliceWithArchitectureName(file.get(), "arm64");
  EXPECT_EQ(found.startAddress, slices[2].startAddress);
  EXPECT_NE(found.startAddress, slices[0].startAddress);
}

TEST(MachOSliceWalk, SliceByNameWithoutMatchIsAllZero) {
  TempDir dir;
  OpenFile file(dir, MachOImage().bytes());
  for (const char* name : {"ARM64", "armv7", ""}) {
    QVXMachOSlice found = QVXMachOFileSliceWithArchitectureName(file.get(), name);
    EXPECT_EQ(found.startAddress, nullptr) << name;
    EXPECT_EQ(found.cputype, 0);
    EXPECT_EQ(found.cpusubtype, 0);
  }
}

TEST(MachOSliceWalk, WalkAtAddressCoversAnImageInMemory) {
  Bytes image = MachOImage(MH_MAGIC_64, CPU_TYPE_ARM64, 2).bytes();
  std::vector<QVXMachOSlice> slices;
  QVXMachOEnumerateSlicesAtAddress(image.data(), image.size(),
                                   [&](const QVXMachOSlice* slice) { slices.push_back(*slice); });
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].startAddress, image.data());
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slices[0]), "arm64e");
}

TEST(MachOSliceWalk, SliceWithHeaderLeavesCPUFieldsForTheCommandWalk) {
  Bytes image = MachOImage(MH_MAGIC, CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7K).bytes();
  QVXMachOSlice slice = QVXMachOSliceWithHeader(image.data(), image.size());
  EXPECT_EQ(slice.startAddress, image.data());
  EXPECT_EQ(slice.cputype, 0);
  QVXMachOSliceEnumerateLoadCommands(&slice, [](std::uint32_t, std::uint32_t, const void*) {});
  EXPECT_EQ(slice.cputype, CPU_TYPE_ARM);
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(&slice), "armv7k");
}
