// A DWARF file counts as complete only when its fat slices lie within the
// file and each slice's segments within the slice; one that shrinks while
// it is read does not open. Real files from the machine's LLVM, cut short.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "macho/QVXMachO.h"
#include "macho/QVXMachOBinary.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

// Where a copy of the DWARF file is cut, and when.
enum class Cut {
  none,            // the whole file
  lastByte,        // one byte short: the last fat slice runs past the end
  afterCommands,   // right after a thin file's load commands: its segments do not fit
  insideCommands,  // inside a thin file's first load command: no segment is even named
  whileBeingRead,  // to 64 bytes after its size was taken, before its headers are read
};

struct Row {
  const char* name;
  bool fat;
  Cut cut;
  bool opens;
  bool complete;
  bool bigEndianSlices = false;  // the fat file with a ppc and a ppc64 slice beside its own
};

// The end of a thin 64-bit file's load commands: header plus sizeofcmds.
std::uintmax_t endOfLoadCommands(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::uint32_t words[6] = {};
  in.read(reinterpret_cast<char*>(words), sizeof words);
  return sizeof(machofile::mach_header_64) + words[5];
}

class CompletenessTest : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() {
    dir = new TempDir;
    const std::string arm64 = testsupport::buildiOSExecutable(dir->path(), "App-arm64", "9.0");
    const std::string sim = testsupport::buildiOSSimulatorExecutable(dir->path(), "App-sim", "9.0");
    const std::string fat = testsupport::buildFatFile(*dir / "App", {arm64, sim});
    fatDWARF = testsupport::buildDSYM(fat, *dir / "App.dSYM");
    thinDWARF = testsupport::buildDSYM(arm64, *dir / "Thin.dSYM");
    mixedDWARF = testsupport::writeWithBigEndianSlices(fatDWARF, *dir / "Mixed");
  }
  static void TearDownTestSuite() { delete dir; }

  static TempDir* dir;
  static std::string fatDWARF;
  static std::string thinDWARF;
  static std::string mixedDWARF;
};

TempDir* CompletenessTest::dir = nullptr;
std::string CompletenessTest::fatDWARF;
std::string CompletenessTest::thinDWARF;
std::string CompletenessTest::mixedDWARF;

TEST_P(CompletenessTest, OpensAndIsCompleteOnlyWhenWhole) {
  const Row& row = GetParam();
  TempDir work;
  const std::string path = work / "DWARF";
  fs::copy_file(row.bigEndianSlices ? mixedDWARF : row.fat ? fatDWARF : thinDWARF, path);
  if (row.cut == Cut::lastByte) fs::resize_file(path, fs::file_size(path) - 1);
  if (row.cut == Cut::afterCommands) fs::resize_file(path, endOfLoadCommands(path));
  if (row.cut == Cut::insideCommands)
    fs::resize_file(path, sizeof(machofile::mach_header_64) + sizeof(machofile::load_command));

  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  auto status = platform::fileStatus(fd);
  ASSERT_TRUE(status);
  if (row.cut == Cut::whileBeingRead) fs::resize_file(path, 64);
  machofile::QVXMachOFile file;
  const bool opened = machofile::QVXMachOFileInitWithDescriptor(&file, fd, *status);
  EXPECT_EQ(opened, row.opens);
  if (opened) {
    EXPECT_EQ(machofile::QVXMachOFileIsComplete(&file), row.complete);
    machofile::QVXMachOFileDestroy(&file);
  } else {
    close(fd);
  }
  // The object layer says the same of the file as it now is on disk.
  auto binary = QVXMachOBinary::MachOBinaryWithPath(path);
  ASSERT_TRUE(binary);
  EXPECT_EQ(binary->isComplete(), row.complete);
}

INSTANTIATE_TEST_SUITE_P(
    DWARFFiles, CompletenessTest,
    ::testing::Values(Row{"WholeFat", true, Cut::none, true, true},
                      Row{"WholeThin", false, Cut::none, true, true},
                      Row{"WholeFatWithBigEndianSlices", true, Cut::none, true, true, true},
                      Row{"FatSlicePastTheEnd", true, Cut::lastByte, true, false},
                      Row{"SegmentPastItsSlice", false, Cut::afterCommands, true, false},
                      Row{"CutInsideItsLoadCommands", false, Cut::insideCommands, true, false},
                      Row{"TruncatedWhileBeingRead", true, Cut::whileBeingRead, false, false}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

}  // namespace
