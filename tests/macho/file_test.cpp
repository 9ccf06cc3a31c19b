// Opening and closing a Mach-O file record.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "macho/QVXMachO.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/TestSupport.h"

using namespace machofile;
using namespace machobuilder;
using testsupport::TempDir;

namespace {

// Whether the descriptor names an open file of this process.
bool isOpenDescriptor(int fd) { return fd >= 0 && fcntl(fd, F_GETFD) != -1; }

}  // namespace

TEST(MachOFile, OpensAndMapsAWholeFile) {
  TempDir dir;
  Bytes image = MachOImage().uuid(uuidFrom(1)).bytes();
  writeBytes(dir / "a", image);
  QVXMachOFile file;
  ASSERT_TRUE(QVXMachOFileInitWithPath(&file, (dir / "a").c_str()));
  EXPECT_EQ(file.mappedSize, image.size());
  ASSERT_NE(file.mappedFile, nullptr);
  EXPECT_EQ(std::memcmp(file.mappedFile, image.data(), image.size()), 0);
  EXPECT_TRUE(isOpenDescriptor(file.fd));
  int fd = file.fd;
  QVXMachOFileDestroy(&file);
  EXPECT_FALSE(isOpenDescriptor(fd));
  EXPECT_EQ(file.fd, -1);
  EXPECT_EQ(file.mappedFile, nullptr);
}

TEST(MachOFile, FifteenByteFileDoesNotOpenAndOwnsNothing) {
  TempDir dir;
  writeBytes(dir / "short", Bytes(15, 0xcf));
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, (dir / "short").c_str()));
  EXPECT_EQ(file.fd, -1);
  EXPECT_EQ(file.mappedFile, nullptr);
  EXPECT_EQ(file.mappedSize, 15u);
  QVXMachOFileDestroy(&file);
  EXPECT_EQ(file.fd, -1);
}

TEST(MachOFile, DirectoryDoesNotOpen) {
  TempDir dir;
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, dir.path().c_str()));
  EXPECT_EQ(file.fd, -1);
  EXPECT_EQ(file.mappedFile, nullptr);
  QVXMachOFileDestroy(&file);
}

TEST(MachOFile, MissingPathDoesNotOpen) {
  TempDir dir;
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, (dir / "missing").c_str()));
  EXPECT_EQ(file.fd, -1);
  EXPECT_EQ(file.mappedSize, 0u);
  QVXMachOFileDestroy(&file);
}

// A path through a plain file cannot be opened, for root as for anyone.
TEST(MachOFile, PathThatCannotBeOpenedDoesNotOpen) {
  TempDir dir;
  writeBytes(dir / "plain", MachOImage().bytes());
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, (dir / "plain/child").c_str()));
  EXPECT_EQ(file.fd, -1);
  EXPECT_EQ(file.mappedFile, nullptr);
}

TEST(MachOFile, AbsentRecordOrPathIsRefused) {
  TempDir dir;
  writeBytes(dir / "a", MachOImage().bytes());
  QVXMachOFile file{7, 99, nullptr};
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, nullptr));
  EXPECT_EQ(file.fd, 7);  // untouched
  EXPECT_FALSE(QVXMachOFileInitWithPath(nullptr, (dir / "a").c_str()));
  QVXMachOFileDestroy(nullptr);
}

TEST(MachOFile, ExactlySixteenBytesOpen) {
  TempDir dir;
  writeBytes(dir / "sixteen", Bytes(16, 0x41));
  QVXMachOFile file;
  ASSERT_TRUE(QVXMachOFileInitWithPath(&file, (dir / "sixteen").c_str()));
  EXPECT_EQ(file.mappedSize, 16u);
  QVXMachOFileDestroy(&file);
}

TEST(MachOFile, SymbolicLinkOpensItsTarget) {
  TempDir dir;
  writeBytes(dir / "target", MachOImage().bytes());
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  QVXMachOFile file;
  EXPECT_TRUE(QVXMachOFileInitWithPath(&file, (dir / "link").c_str()));
  QVXMachOFileDestroy(&file);
}

TEST(MachOFile, RunningImageIsNotKnownOnLinux) {
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithCurrent(&file));
  EXPECT_EQ(file.fd, -1);
  QVXMachOSlice current = QVXMachOSliceGetCurrent();
  EXPECT_EQ(current.startAddress, nullptr);
  EXPECT_EQ(current.cputype, 0);
  EXPECT_EQ(current.cpusubtype, 0);
  EXPECT_EQ(QVXMachOSliceGetExecutablePath(&current), nullptr);
  EXPECT_EQ(QVXMachOSliceGetExecutablePath(nullptr), nullptr);
}

TEST(MachOFile, FIFOIsRefusedWithoutWaitingForAWriter) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, (dir / "fifo").c_str()));
  EXPECT_EQ(file.fd, -1);
}

TEST(MachOFile, CharacterDeviceIsRefused) {
  QVXMachOFile file;
  EXPECT_FALSE(QVXMachOFileInitWithPath(&file, "/dev/zero"));
  EXPECT_EQ(file.fd, -1);
}
