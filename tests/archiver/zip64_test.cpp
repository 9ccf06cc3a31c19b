// Archives beyond the classic zip limits of 4 GiB.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "tests/archiver/ArchiverTestSupport.h"

namespace archivertest {
namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

// Writes BYTES at OFFSET of PATH.
void writeAt(const std::string& path, const std::string& bytes, off_t offset) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

TEST(Zip64Test, FileOfFiveGibibytesGivesAZip64ArchiveTheReadersAccept) {
  if (RUN_SANITIZED) GTEST_SKIP() << "too slow with the sanitizers";
  TempDir dir;
  std::string bundle = dir / "App.app.dSYM";
  std::string dwarf = bundle + "/Contents/Resources/DWARF/App";
  fs::create_directories(fs::path(dwarf).parent_path());
  testsupport::writeFile(bundle + "/Contents/Info.plist", "plist\n");
  constexpr off_t kSize = off_t{5} << 30;
  // DWARF-like bytes at the start, across the 4 GiB mark and at the end;
  // holes in between.
  writeAt(dwarf, dwarfLikeBytes(3 << 20, 11), 0);
  writeAt(dwarf, dwarfLikeBytes(2 << 20, 12), (off_t{4} << 30) - (1 << 20));
  writeAt(dwarf, dwarfLikeBytes(1 << 20, 13), kSize - (1 << 20));
  ASSERT_EQ(static_cast<off_t>(fs::file_size(dwarf)), kSize);
  std::string zip = dir / "App.zip";
  // 5 GiB to read and deflate take a while on a busy machine.
  auto result = archive(bundle, zip, 240);
  ASSERT_EQ(result.status, 0) << result.err;
  auto entries = listEntries(zip);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[5].name, "App.app.dSYM/Contents/Resources/DWARF/App");
  EXPECT_EQ(entries[5].size, static_cast<uint64_t>(kSize));
  auto unzip = runTool({"unzip", "-t", "-q", zip});
  EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
  auto python = runTool({"python3", "-c",
                         "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                         "sys.exit(0 if z.testzip() is None else 1)",
                         zip});
  EXPECT_EQ(python.status, 0) << python.err;
  auto zipinfo = runTool({"zipinfo", "-v", zip});
  EXPECT_NE(zipinfo.out.find("5368709120 bytes"), std::string::npos) << zipinfo.out;
}

}  // namespace
}  // namespace archivertest
