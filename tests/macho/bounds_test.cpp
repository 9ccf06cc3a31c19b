// Truncated and corrupt images: every count, offset and size is checked
// against the image, so no read leaves it. The images live in heap buffers
// of their exact size, so that AddressSanitizer sees any read past the end.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "macho/QVXMachO.h"
#include "macho/QVXMachOSlice.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

using namespace machofile;
using namespace machobuilder;
using testsupport::TempDir;

namespace {

// A copy of the bytes in a heap block of exactly their size.
struct ExactBuffer {
  explicit ExactBuffer(const std::uint8_t* bytes, std::size_t length)
      : data(new std::uint8_t[length ? length : 1]), size(length) {
    if (length) std::memcpy(data.get(), bytes, length);
  }
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size;
};

// Everything the reader and the slice objects do with an image.
std::size_t exercise(const std::uint8_t* bytes, std::size_t size) {
  ExactBuffer buffer(bytes, size);
  std::size_t slices = 0;
  QVXMachOEnumerateSlicesAtAddress(
      buffer.data.get(), buffer.size, [&](const machofile::QVXMachOSlice* s) {
        ++slices;
        machofile::QVXMachOSlice record = *s;
        QVXMachOSliceGetArchitectureName(&record);
        auto object = ::QVXMachOSlice::initWithSlice(&record);
        object->architectureName();
        object->ehFrameData();
        object->unwindInfoData();
        QVXMachOSliceEnumerateLoadCommands(&record,
                                           [](std::uint32_t, std::uint32_t, const void* command) {
                                             QVXMachOGetUUID(command);
                                             QVXMachOGetDylibPath(command);
                                             QVXMachOGetEncrypted(command);
                                             QVXMachOGetMinimumOSVersion(command);
                                             QVXMachOGetLinkedSDKVersion(command);
                                             QVXMachOGetBuildMinimumOSVersion(command);
                                             QVXMachOGetBuildSDKVersion(command);
                                           });
      });
  return slices;
}

std::size_t exercise(const Bytes& bytes) { return exercise(bytes.data(), bytes.size()); }

std::shared_ptr<::QVXMachOSlice> sliceObjectOf(const ExactBuffer& buffer) {
  machofile::QVXMachOSlice record = QVXMachOSliceWithHeader(buffer.data.get(), buffer.size);
  return ::QVXMachOSlice::initWithSlice(&record);
}

}  // namespace

TEST(MachOBounds, FatEntryCountPastTheEndEndsTheWalk) {
  Bytes bytes;
  appendBigEndianWord(bytes, FAT_MAGIC);
  appendBigEndianWord(bytes, 0xffffffff);
  bytes.resize(16, 0);
  EXPECT_EQ(exercise(bytes), 0u);
}

TEST(MachOBounds, FatCountLargerThanTheTableReportsOnlyWholeEntries) {
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, MachOImage().uuid(uuidFrom(1)).bytes()}});
  setWord(bytes, 4, __builtin_bswap32(1000));
  EXPECT_LE(exercise(bytes), bytes.size() / 20);
}

TEST(MachOBounds, FatSliceOffsetPastTheEndIsSkipped) {
  Bytes bytes =
      fatFile({{CPU_TYPE_ARM64, 0, MachOImage().bytes()},
               {CPU_TYPE_X86_64, 3, MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 3).bytes()}});
  setWord(bytes, 8 + 20 + 8, __builtin_bswap32(static_cast<std::uint32_t>(bytes.size())));
  ExactBuffer buffer(bytes.data(), bytes.size());
  std::vector<machofile::QVXMachOSlice> slices;
  QVXMachOEnumerateSlicesAtAddress(
      buffer.data.get(), buffer.size,
      [&](const machofile::QVXMachOSlice* slice) { slices.push_back(*slice); });
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_ARM64);
}

TEST(MachOBounds, TruncatedSliceHeaderGivesNoCommandsAndKeepsTableValues) {
  Bytes bytes = fatFile({{CPU_TYPE_ARM, 9, MachOImage().uuid(uuidFrom(1)).bytes()}});
  std::uint32_t offset;
  std::memcpy(&offset, &bytes[16], 4);
  bytes.resize(__builtin_bswap32(offset) + 20);
  ExactBuffer buffer(bytes.data(), bytes.size());
  int slices = 0;
  QVXMachOEnumerateSlicesAtAddress(buffer.data.get(), buffer.size,
                                   [&](const machofile::QVXMachOSlice* s) {
                                     ++slices;
                                     auto object = ::QVXMachOSlice::initWithSlice(s);
                                     EXPECT_EQ(object->architectureName(), "armv7");
                                     EXPECT_EQ(object->uuid(), std::nullopt);
                                   });
  EXPECT_EQ(slices, 1);
}

TEST(MachOBounds, CommandCountPastTheEndStopsAtTheLastWholeCommand) {
  Bytes bytes = MachOImage().uuid(uuidFrom(1)).uuid(uuidFrom(2)).commandCount(0xffffffff).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  machofile::QVXMachOSlice record = QVXMachOSliceWithHeader(buffer.data.get(), buffer.size);
  int calls = 0;
  QVXMachOSliceEnumerateLoadCommands(&record,
                                     [&](std::uint32_t, std::uint32_t, const void*) { ++calls; });
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(sliceObjectOf(buffer)->uuid(), "02030405060708090a0b0c0d0e0f1011");
}

TEST(MachOBounds, CommandSizePastTheEndIsNotReported) {
  Bytes bytes = MachOImage().uuid(uuidFrom(1)).command(LC_UUID, Bytes(16, 0xab), 4096).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_EQ(sliceObjectOf(buffer)->uuid(), "0102030405060708090a0b0c0d0e0f10");
}

TEST(MachOBounds, SizeZeroCommandWithHugeCountIsReportedOnce) {
  Bytes bytes = MachOImage().command(0x99, {}, 0).commandCount(0xffffffff).padding(4096).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  machofile::QVXMachOSlice record = QVXMachOSliceWithHeader(buffer.data.get(), buffer.size);
  std::uint64_t calls = 0;
  QVXMachOSliceEnumerateLoadCommands(&record,
                                     [&](std::uint32_t, std::uint32_t, const void*) { ++calls; });
  EXPECT_EQ(calls, 1u);
}

// A sparse file of 8 GiB of zeros behind a header that states 0xffffffff
// commands in 0xffffffff bytes: the first command, all zeros, is reported
// and ends the walk, instead of one call per 8 bytes of the file.
TEST(MachOBounds, HugeSparseFileWithEveryCountAtItsMaximumGivesOneCommand) {
  TempDir dir;
  Bytes header = MachOImage().commandCount(0xffffffff).bytes();
  setWord(header, 20, 0xffffffff);  // sizeofcmds
  const std::string path = dir / "sparse";
  writeBytes(path, header);
  ASSERT_EQ(truncate(path.c_str(), 8ll << 30), 0) << strerror(errno);
  machofile::QVXMachOFile file;
  ASSERT_TRUE(QVXMachOFileInitWithPath(&file, path.c_str()));
  EXPECT_EQ(file.mappedSize, 8ull << 30);
  std::uint64_t slices = 0, calls = 0;
  QVXMachOFileEnumerateSlices(&file, [&](const machofile::QVXMachOSlice* s) {
    ++slices;
    machofile::QVXMachOSlice record = *s;
    QVXMachOSliceEnumerateLoadCommands(&record,
                                       [&](std::uint32_t, std::uint32_t, const void*) { ++calls; });
    auto object = ::QVXMachOSlice::initWithSlice(&record);
    EXPECT_EQ(object->uuid(), std::nullopt);
    EXPECT_EQ(object->unwindInfoData(), nullptr);
  });
  QVXMachOFileDestroy(&file);
  EXPECT_EQ(slices, 1u);
  EXPECT_EQ(calls, 1u);
}

TEST(MachOBounds, ShortUUIDCommandGivesNoUUID) {
  Bytes bytes = MachOImage().command(LC_UUID, Bytes(8, 0xab)).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_EQ(sliceObjectOf(buffer)->uuid(), std::nullopt);
}

// A command body of SIZE bytes: the little-endian WORD, then 'a's. Made at
// its full size first, so no resize follows the word.
static Bytes wordThenFill(std::uint32_t word, std::size_t size) {
  Bytes body(size, 'a');
  std::memcpy(body.data(), &word, 4);
  return body;
}

TEST(MachOBounds, DylibNameOffsetOutsideTheCommandIsNotListed) {
  Bytes body = wordThenFill(0x7fffffff, 24);
  Bytes bytes = MachOImage().command(LC_LOAD_DYLIB, body).dylib(LC_LOAD_DYLIB, "/ok").bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_EQ(sliceObjectOf(buffer)->linkedDylibs(), std::vector<std::string>{"/ok"});
}

TEST(MachOBounds, DylibNameWithoutTerminatorIsNotListed) {
  Bytes body = wordThenFill(24, 40);
  Bytes bytes = MachOImage().command(LC_LOAD_DYLIB, body).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_TRUE(sliceObjectOf(buffer)->linkedDylibs().empty());
}

TEST(MachOBounds, ShortVersionCommandReadsOnlyWhatItHolds) {
  Bytes version;
  appendWord(version, 0x00050000);
  Bytes bytes = MachOImage().command(LC_VERSION_MIN_IPHONEOS, version).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  auto slice = sliceObjectOf(buffer);
  EXPECT_EQ(slice->minimumOSVersion(), (QVXMachOVersion{5, 0, 0}));
  EXPECT_EQ(slice->linkedSDKVersion(), (QVXMachOVersion{0, 0, 0}));
}

TEST(MachOBounds, SectionOffsetPastTheEndIsNotFound) {
  Bytes bytes = MachOImage().segment("__TEXT", {{"__unwind_info", 0x100000}}).bytes();
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_EQ(sliceObjectOf(buffer)->unwindInfoData(), nullptr);
}

// The lookup passes the one real section and must stop before the next.
TEST(MachOBounds, SectionCountPastTheCommandIsNotRead) {
  Bytes bytes = MachOImage().segment("__TEXT", {{"__text", 0x40}}).bytes();
  setWord(bytes, 32 + 64, 0xffffffff);  // nsects of the segment command
  ExactBuffer buffer(bytes.data(), bytes.size());
  EXPECT_EQ(sliceObjectOf(buffer)->unwindInfoData(), nullptr);
}

TEST(MachOBounds, EveryPrefixOfARealFatFileIsReadSafely) {
  TempDir dir;
  auto fat = testsupport::buildFatFile(
      dir / "fat", {testsupport::buildiOSExecutable(dir.path(), "arm64", "9.0"),
                    testsupport::buildWatchOSExecutable(dir.path(), "watch", "5.0")});
  Bytes bytes;
  {
    std::string text = testsupport::readFile(fat);
    bytes.assign(text.begin(), text.end());
  }
  // Past the last slice's commands nothing more is read; stop there.
  std::size_t last = 0;
  QVXMachOEnumerateSlicesAtAddress(
      bytes.data(), bytes.size(), [&](const machofile::QVXMachOSlice* s) {
        last = std::max<std::size_t>(
            last, static_cast<const std::uint8_t*>(s->startAddress) - bytes.data() + 4096);
      });
  ASSERT_LE(last, bytes.size());
  for (std::size_t length = 0; length <= last; ++length) exercise(bytes.data(), length);
  EXPECT_EQ(exercise(bytes), 2u);
}

TEST(MachOBounds, EveryHeaderByteOfARealFileMayBeCorrupt) {
  TempDir dir;
  std::string text =
      testsupport::readFile(testsupport::buildMacOSExecutable(dir.path(), "mac", "10.6"));
  Bytes bytes(text.begin(), text.end());
  for (std::size_t at = 0; at < 1024 && at < bytes.size(); ++at) {
    for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xff}, std::uint8_t{0x7f}}) {
      Bytes corrupt = bytes;
      corrupt[at] = value;
      exercise(corrupt);
    }
  }
  SUCCEED();
}

TEST(MachOBounds, FatSlicesThatOverlapAnEarlierSliceAreSkipped) {
  Bytes image = MachOImage().uuid(uuidFrom(1)).bytes();
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, image}, {CPU_TYPE_X86_64, 3, image}});
  // The second entry points at the first slice.
  std::memcpy(&bytes[8 + 20 + 8], &bytes[8 + 8], 4);
  ExactBuffer buffer(bytes.data(), bytes.size());
  std::vector<machofile::QVXMachOSlice> slices;
  QVXMachOEnumerateSlicesAtAddress(
      buffer.data.get(), buffer.size,
      [&](const machofile::QVXMachOSlice* s) { slices.push_back(*s); });
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_ARM64);
}

// Out of offset order, the third entry overlaps the first slice but not
// the second: it is still skipped, while the second is kept.
TEST(MachOBounds, OverlapIsFoundAgainstEverySliceReportedBefore) {
  Bytes image = MachOImage().uuid(uuidFrom(1)).bytes();
  Bytes bytes =
      fatFile({{CPU_TYPE_ARM64, 0, image}, {CPU_TYPE_X86_64, 3, image}, {CPU_TYPE_ARM, 9, image}});
  swapFatEntries(bytes, 0, 1);  // table: second slice, first slice, third
  std::uint32_t firstOffset;
  std::memcpy(&firstOffset, &bytes[8 + 20 + 8], 4);
  setWord(bytes, 8 + 40 + 8, __builtin_bswap32(__builtin_bswap32(firstOffset) + 16));
  setWord(bytes, 8 + 40 + 12, __builtin_bswap32(16));  // inside the first slice only
  ExactBuffer buffer(bytes.data(), bytes.size());
  std::vector<machofile::QVXMachOSlice> slices;
  QVXMachOEnumerateSlicesAtAddress(
      buffer.data.get(), buffer.size,
      [&](const machofile::QVXMachOSlice* s) { slices.push_back(*s); });
  ASSERT_EQ(slices.size(), 2u);
  EXPECT_EQ(slices[0].cputype, CPU_TYPE_X86_64);
  EXPECT_EQ(slices[1].cputype, CPU_TYPE_ARM64);
}

// Slices that only touch (one ends where the next starts) do not overlap.
TEST(MachOBounds, AdjacentSlicesInReverseOrderAreBothKept) {
  Bytes image = MachOImage().uuid(uuidFrom(1)).padding(8).bytes();
  ASSERT_EQ(image.size() % 16, 0u);
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, image}, {CPU_TYPE_X86_64, 3, image}});
  swapFatEntries(bytes, 0, 1);
  EXPECT_EQ(exercise(bytes), 2u);
}

TEST(MachOBounds, ThousandsOfEntriesOnOneSliceGiveOneSlice) {
  Bytes image = MachOImage().command(0x99, {}, 0).commandCount(0xffffffff).padding(4096).bytes();
  std::vector<FatEntry> entries(1, {CPU_TYPE_ARM64, 0, image});
  Bytes bytes = fatFile(entries);
  Bytes table(bytes.begin() + 8, bytes.begin() + 28);
  Bytes corrupt(bytes.begin(), bytes.begin() + 8);
  setWord(corrupt, 4, __builtin_bswap32(2000));
  for (int i = 0; i < 2000; ++i) corrupt.insert(corrupt.end(), table.begin(), table.end());
  std::uint32_t offset = static_cast<std::uint32_t>(corrupt.size());
  for (int i = 0; i < 2000; ++i) setWord(corrupt, 8 + 20 * i + 8, __builtin_bswap32(offset));
  corrupt.insert(corrupt.end(), image.begin(), image.end());
  EXPECT_EQ(exercise(corrupt), 1u);
}

TEST(MachOBounds, FatSliceIsBoundedByItsTableSize) {
  Bytes first = MachOImage().uuid(uuidFrom(1)).bytes();
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, first}, {CPU_TYPE_X86_64, 3, MachOImage().bytes()}});
  // The first slice's size now ends inside its UUID command.
  setWord(bytes, 8 + 12, __builtin_bswap32(40));
  ExactBuffer buffer(bytes.data(), bytes.size());
  std::vector<std::shared_ptr<::QVXMachOSlice>> objects;
  QVXMachOEnumerateSlicesAtAddress(buffer.data.get(), buffer.size,
                                   [&](const machofile::QVXMachOSlice* s) {
                                     objects.push_back(::QVXMachOSlice::initWithSlice(s));
                                   });
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]->architectureName(), "arm64");
  EXPECT_EQ(objects[0]->uuid(), std::nullopt);
}

TEST(MachOBounds, EmptyFatSliceIsSkipped) {
  Bytes bytes = fatFile({{CPU_TYPE_ARM64, 0, MachOImage().bytes()}});
  setWord(bytes, 8 + 12, 0);
  EXPECT_EQ(exercise(bytes), 0u);
}
