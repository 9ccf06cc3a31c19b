// The load-command walk and the command readers.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "macho/QVXMachO.h"
#include "tests/macho/MachOBuilder.h"

using namespace machofile;
using namespace machobuilder;

namespace {

struct Reported {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  const void* command;
};

std::vector<Reported> commandsOf(QVXMachOSlice& slice) {
  std::vector<Reported> reported;
  QVXMachOSliceEnumerateLoadCommands(
      &slice, [&](std::uint32_t cmd, std::uint32_t cmdsize, const void* command) {
        reported.push_back({cmd, cmdsize, command});
      });
  return reported;
}

QVXMachOSlice sliceOf(const Bytes& image) {
  return QVXMachOSliceWithHeader(image.data(), image.size());
}

}  // namespace

TEST(MachOLoadCommands, ReportsEachCommandInOrder) {
  Bytes image = MachOImage()
                    .uuid(uuidFrom(0))
                    .versionMinimum(LC_VERSION_MIN_IPHONEOS, 0x50000, 0x60000)
                    .bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0].cmd, LC_UUID);
  EXPECT_EQ(reported[0].cmdsize, 24u);
  EXPECT_EQ(reported[0].command, image.data() + 32);
  EXPECT_EQ(reported[1].cmd, LC_VERSION_MIN_IPHONEOS);
  EXPECT_EQ(reported[1].command, image.data() + 56);
}

TEST(MachOLoadCommands, ThirtyTwoBitCommandsStartAfterTwentyEightBytes) {
  Bytes image = MachOImage(MH_MAGIC, CPU_TYPE_ARM, 9).uuid(uuidFrom(0)).bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].command, image.data() + 28);
}

TEST(MachOLoadCommands, NoCommandsStillRewritesCPUFields) {
  Bytes image = MachOImage(MH_MAGIC_64, CPU_TYPE_X86_64, 8).bytes();
  QVXMachOSlice slice = sliceOf(image);
  EXPECT_TRUE(commandsOf(slice).empty());
  EXPECT_EQ(slice.cputype, CPU_TYPE_X86_64);
  EXPECT_EQ(slice.cpusubtype, 8);
}

// A size below 8 leaves no place for the next command: the walk reports
// the short command once and ends, whatever count remains.
TEST(MachOLoadCommands, CommandShorterThanItsStartIsReportedOnceAndEndsTheWalk) {
  for (std::uint32_t size : {0u, 4u, 7u}) {
    Bytes image = MachOImage()
                      .uuid(uuidFrom(0))
                      .command(0x99, {}, size)
                      .uuid(uuidFrom(16))
                      .commandCount(5)
                      .padding(64)
                      .bytes();
    QVXMachOSlice slice = sliceOf(image);
    auto reported = commandsOf(slice);
    ASSERT_EQ(reported.size(), 2u) << size;
    EXPECT_EQ(reported[0].cmd, LC_UUID);
    EXPECT_EQ(reported[1].cmd, 0x99u);
    EXPECT_EQ(reported[1].cmdsize, size);
    EXPECT_EQ(reported[1].command, image.data() + 32 + 24);
  }
}

// The header's total command size ends the command area even where the
// slice goes on: a command past it is not reported.
TEST(MachOLoadCommands, CommandsPastTheStatedTotalSizeAreNotReported) {
  Bytes image = MachOImage().uuid(uuidFrom(0)).uuid(uuidFrom(16)).bytes();
  setWord(image, 20, 24 + 23);  // sizeofcmds ends one byte short of the second
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(QVXMachONormalizeUUID(QVXMachOGetUUID(reported[0].command)),
            "000102030405060708090a0b0c0d0e0f");
  setWord(image, 20, 0);
  EXPECT_TRUE(commandsOf(slice).empty());
}

TEST(MachOLoadCommands, CountEndsTheWalkBeforeTheAreaDoes) {
  Bytes image = MachOImage().uuid(uuidFrom(0)).uuid(uuidFrom(16)).commandCount(1).bytes();
  QVXMachOSlice slice = sliceOf(image);
  EXPECT_EQ(commandsOf(slice).size(), 1u);
}

TEST(MachOLoadCommands, TwoUUIDCommandsAreBothReported) {
  Bytes image = MachOImage().uuid(uuidFrom(0)).uuid(uuidFrom(16)).bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(QVXMachONormalizeUUID(QVXMachOGetUUID(reported[0].command)),
            "000102030405060708090a0b0c0d0e0f");
  EXPECT_EQ(QVXMachONormalizeUUID(QVXMachOGetUUID(reported[1].command)),
            "101112131415161718191a1b1c1d1e1f");
}

TEST(MachOLoadCommands, UnknownMagicMakesNoCallAndLeavesTheRecord) {
  Bytes image(64, 0x41);
  QVXMachOSlice slice{image.data(), 5, 6, image.size()};
  EXPECT_TRUE(commandsOf(slice).empty());
  EXPECT_EQ(slice.cputype, 5);
  EXPECT_EQ(slice.cpusubtype, 6);
}

TEST(MachOLoadCommands, AbsentArgumentsAreIgnored) {
  Bytes image = MachOImage().uuid(uuidFrom(0)).bytes();
  QVXMachOSlice slice = sliceOf(image);
  QVXMachOSliceEnumerateLoadCommands(&slice, nullptr);
  QVXMachOSliceEnumerateLoadCommands(
      nullptr, [](std::uint32_t, std::uint32_t, const void*) { ADD_FAILURE(); });
  QVXMachOSlice empty{};
  EXPECT_TRUE(commandsOf(empty).empty());
}

TEST(MachOCommandReaders, UUIDIsRenderedAsThirtyTwoLowercaseDigits) {
  UUIDBytes uuid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                    0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  Bytes image = MachOImage().uuid(uuid).bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(QVXMachONormalizeUUID(QVXMachOGetUUID(reported[0].command)),
            "00112233445566778899aabbccddeeff");
}

TEST(MachOCommandReaders, DylibPathIsReadFromItsOffset) {
  Bytes image = MachOImage().dylib(LC_LOAD_DYLIB, "/usr/lib/libSystem.B.dylib").bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_STREQ(QVXMachOGetDylibPath(reported[0].command), "/usr/lib/libSystem.B.dylib");
}

TEST(MachOCommandReaders, EncryptionIdIsRead) {
  Bytes image = MachOImage()
                    .encryptionInfo(LC_ENCRYPTION_INFO_64, 1)
                    .encryptionInfo(LC_ENCRYPTION_INFO, 0)
                    .bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_TRUE(QVXMachOGetEncrypted(reported[0].command));
  EXPECT_FALSE(QVXMachOGetEncrypted(reported[1].command));
}

TEST(MachOCommandReaders, VersionMinimumCommandGivesBothVersions) {
  Bytes image = MachOImage().versionMinimum(LC_VERSION_MIN_MACOSX, 0x000A0A01, 0x000B0000).bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(QVXMachOGetMinimumOSVersion(reported[0].command), (QVXMachOVersion{10, 10, 1}));
  EXPECT_EQ(QVXMachOGetLinkedSDKVersion(reported[0].command), (QVXMachOVersion{11, 0, 0}));
}

TEST(MachOCommandReaders, BuildVersionCommandGivesBothVersions) {
  Bytes image = MachOImage().buildVersion(1, 0x000A0F00, 0x000B0300).bytes();
  QVXMachOSlice slice = sliceOf(image);
  auto reported = commandsOf(slice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(QVXMachOGetBuildMinimumOSVersion(reported[0].command), (QVXMachOVersion{10, 15, 0}));
  EXPECT_EQ(QVXMachOGetBuildSDKVersion(reported[0].command), (QVXMachOVersion{11, 3, 0}));
}

TEST(MachOCommandReaders, PackedVersionsUnpack) {
  EXPECT_EQ(QVXMachOUnpackVersion(0x00070100), (QVXMachOVersion{7, 1, 0}));
  EXPECT_EQ(QVXMachOUnpackVersion(0x000A0A01), (QVXMachOVersion{10, 10, 1}));
  EXPECT_EQ(QVXMachOUnpackVersion(0x00070000), (QVXMachOVersion{7, 0, 0}));
  EXPECT_EQ(QVXMachOUnpackVersion(0xFFFFFFFF), (QVXMachOVersion{65535, 255, 255}));
}

TEST(MachOText, VersionTextJoinsTheNumbersWithPoints) {
  QVXMachOVersion version{10, 10, 1};
  EXPECT_EQ(QVXMachOFormatVersion(&version), "10.10.1");
  QVXMachOVersion largest = QVXMachOUnpackVersion(0xFFFFFFFF);
  EXPECT_EQ(QVXMachOFormatVersion(&largest), "65535.255.255");
  EXPECT_EQ(QVXMachOFormatVersion(nullptr), std::nullopt);
}

TEST(MachOText, AbsentUUIDBytesGiveEmptyText) { EXPECT_EQ(QVXMachONormalizeUUID(nullptr), ""); }
