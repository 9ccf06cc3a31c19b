// What the archiver puts into the zip: every item of the tree, in a form
// that the common zip readers accept.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "tests/archiver/ArchiverTestSupport.h"
#include "tests/support/SampleApp.h"
#include "tests/support/ScopedVariable.h"

namespace archivertest {
namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

void setTime(const std::string& path, time_t when) {
  struct timespec times[2] = {{when, 0}, {when, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A small bundle with every kind of item the archiver keeps.
void makeBundle(const std::string& root) {
  writeFile(root + "/Contents/Info.plist", "<plist>bundle</plist>\n");
  writeFile(root + "/Contents/Resources/DWARF/App", dwarfLikeBytes(300000, 7));
  writeFile(root + "/Contents/empty", "");
  writeFile(root + "/Contents/script.sh", "#!/bin/sh\n");
  chmod((root + "/Contents/script.sh").c_str(), 0751);
  fs::create_directories(root + "/Contents/Empty Folder");
  fs::create_symlink("Resources/DWARF/App", root + "/Contents/current");
  fs::create_symlink("/nowhere/at/all", root + "/Contents/dangling");
  setTime(root + "/Contents/Info.plist", 1'000'000'000);
  setTime(root + "/Contents/Resources/DWARF/App", 1'600'000'001);
}

class ArchiveContentsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string bundle_ = dir_ / "App.app.dSYM";
  std::string zip_ = dir_ / "App.zip";
};

TEST_F(ArchiveContentsTest, EntriesEqualTheTreeWithLinksModesAndTimes) {
  makeBundle(bundle_);
  auto result = archive(bundle_, zip_);
  ASSERT_EQ(result.status, 0) << result.err;
  expectArchiveEqualsTree(zip_, bundle_, "App.app.dSYM", dir_ / "out");
  EXPECT_TRUE(fs::is_symlink(dir_ / "out/App.app.dSYM/Contents/dangling"));
}

TEST_F(ArchiveContentsTest, TopEntryIsTheBundleFolderAndListingsAreSorted) {
  makeBundle(bundle_);
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  auto entries = listEntries(zip_);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].name, "App.app.dSYM/");
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  std::vector<std::string> expected = {"App.app.dSYM/",
                                       "App.app.dSYM/Contents/",
                                       "App.app.dSYM/Contents/Empty Folder/",
                                       "App.app.dSYM/Contents/Info.plist",
                                       "App.app.dSYM/Contents/Resources/",
                                       "App.app.dSYM/Contents/Resources/DWARF/",
                                       "App.app.dSYM/Contents/Resources/DWARF/App",
                                       "App.app.dSYM/Contents/current",
                                       "App.app.dSYM/Contents/dangling",
                                       "App.app.dSYM/Contents/empty",
                                       "App.app.dSYM/Contents/script.sh"};
  EXPECT_EQ(names, expected);
}

TEST_F(ArchiveContentsTest, AllFourReadersAcceptTheArchive) {
  makeBundle(bundle_);
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  auto unzip = runTool({"unzip", "-t", zip_});
  EXPECT_EQ(unzip.status, 0) << unzip.out;
  EXPECT_NE(unzip.out.find("No errors detected"), std::string::npos) << unzip.out;
  auto zipinfo = runTool({"zipinfo", zip_});
  EXPECT_EQ(zipinfo.status, 0) << zipinfo.out << zipinfo.err;
  EXPECT_NE(zipinfo.out.find("unx"), std::string::npos) << zipinfo.out;
  EXPECT_NE(zipinfo.out.find("lrwxrwxrwx"), std::string::npos) << zipinfo.out;
  auto python = runTool({"python3", "-c",
                         "import sys,zipfile; r=zipfile.ZipFile(sys.argv[1]).testzip(); "
                         "sys.exit(0 if r is None else 1)",
                         zip_});
  EXPECT_EQ(python.status, 0) << python.err;
  auto bsdtar = runTool({"bsdtar", "-tvf", zip_});
  EXPECT_EQ(bsdtar.status, 0) << bsdtar.err;
  EXPECT_NE(bsdtar.out.find("App.app.dSYM/Contents/current -> Resources/DWARF/App"),
            std::string::npos)
      << bsdtar.out;
}

// Written to a pipe ("-"), each file's sizes follow its data: the zip holds
// the same tree, and a reader that reads front to back, never seeking to
// the central directory, takes it too.
TEST_F(ArchiveContentsTest, ArchiveToStandardOutputHoldsTheSameTreeReadFrontToBack) {
  makeBundle(bundle_);
  auto made = runTool({"sh", "-c", "\"$0\" -c -k --keepParent \"$1\" - | cat >\"$2\"",
                       archiverExecutable(), bundle_, zip_});
  ASSERT_EQ(made.status, 0) << made.err;
  expectArchiveEqualsTree(zip_, bundle_, "App.app.dSYM", dir_ / "out");
  fs::create_directories(dir_ / "streamed");
  auto streamed = runTool({"sh", "-c", "bsdtar -xf - -C \"$1\" <\"$0\"", zip_, dir_ / "streamed"});
  ASSERT_EQ(streamed.status, 0) << streamed.err;
  EXPECT_EQ(testsupport::readFile(dir_ / "streamed/App.app.dSYM/Contents/Resources/DWARF/App"),
            testsupport::readFile(bundle_ + "/Contents/Resources/DWARF/App"));
}

TEST_F(ArchiveContentsTest, NonAsciiNamesAreMarkedUtf8AndAsciiNamesAreNot) {
  writeFile(bundle_ + "/Contents/Résumé – 東京.txt", "text\n");
  writeFile(bundle_ + "/Contents/plain.txt", "text\n");
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  bool sawUtf8 = false;
  for (const auto& entry : listEntries(zip_)) {
    bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    EXPECT_EQ((entry.flags & 0x800) != 0, !ascii) << entry.name;
    if (!ascii) {
      EXPECT_EQ(entry.name, "App.app.dSYM/Contents/Résumé – 東京.txt");
      sawUtf8 = true;
    }
  }
  EXPECT_TRUE(sawUtf8);
  expectArchiveEqualsTree(zip_, bundle_, "App.app.dSYM", dir_ / "out");
}

// Linux names may be any bytes; only well-formed UTF-8 ones are marked, the
// others are kept as their bytes, and every reader opens the archive.
TEST_F(ArchiveContentsTest, OnlyWellFormedUtf8NamesAreMarkedUtf8) {
  // "u": well-formed (U+00E9, U+D7FF, U+E000, U+1F600, U+10FFFF); "b": not
  // (overlong, surrogate, past U+10FFFF, lead bytes F5-FF, cut short).
  const std::vector<std::string> names = {
      "u\xC3\xA9",         "u\xED\x9F\xBF", "u\xEE\x80\x80",     "u\xF0\x9F\x98\x80",
      "u\xF4\x8F\xBF\xBF", "b\xC0\xAF",     "b\xE0\x80\xAF",     "b\xF0\x80\x80\xAF",
      "b\xED\xA0\x80",     "b\xED\xBF\xBF", "b\xF4\x90\x80\x80", "b\xF5\x80\x80\x80",
      "b\xF7\xBF\xBF\xBF", "b\xFF",         "b\xE2\x82"};
  for (const auto& name : names) writeFile(bundle_ + "/" + name, "x");
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  const std::string bytes = testsupport::readFile(zip_);
  // Each name, in the local and the central header, just before the
  // extended timestamp's tag "UT".
  for (const auto& name : names)
    EXPECT_EQ(testsupport::countOf(bytes, "App.app.dSYM/" + name + "UT"), 2u) << name;
  auto entries = listEntries(zip_);
  ASSERT_EQ(entries.size(), names.size() + 1);
  for (const auto& entry : entries)
    EXPECT_EQ(entry.flags & 0x800, entry.name[13] == 'u' ? 0x800 : 0) << entry.name;
  auto bsdtar = runTool({"bsdtar", "-tf", zip_});
  EXPECT_EQ(bsdtar.status, 0) << bsdtar.err;
  EXPECT_EQ(testsupport::countOf(bsdtar.out, "\n"), names.size() + 1);
}

// A tmpfs keeps times that the DOS date cannot hold; they get its nearest end.
TEST(ArchiveDatesTest, TimesOutsideTheDosDateGetItsNearestEnd) {
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  testsupport::ScopedVariable onTmpfs("TMPDIR", "/dev/shm");
  TempDir dir;
  const std::string latest = "2107-12-31T23:59:58", earliest = "1980-01-01T00:00:00";
  const std::pair<time_t, std::string> rows[] = {
      {32503680000, latest},         // 3000-01-01
      {-2208988800, earliest},       // 1900-01-01
      {67767976233532800, latest},   // year 2^31 (in UTC): adding 1900 overflows an int
      {100000000000000000, latest},  // past what localtime_r converts
      {-100000000000000000, earliest}};
  for (size_t row = 0; row < std::size(rows); ++row) {
    const std::string path = dir / ("App.app.dSYM/t" + std::to_string(row));
    writeFile(path, "x");
    setTime(path, rows[row].first);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || info.st_mtime != rows[row].first)
      GTEST_SKIP() << "no tmpfs at /dev/shm keeps the time " << rows[row].first;
  }
  ASSERT_EQ(archive(dir / "App.app.dSYM", dir / "App.zip").status, 0);
  std::map<std::string, std::string> dates;
  for (const auto& entry : listEntries(dir / "App.zip")) dates[entry.name] = entry.dateTime;
  for (size_t row = 0; row < std::size(rows); ++row)
    EXPECT_EQ(dates["App.app.dSYM/t" + std::to_string(row)], rows[row].second) << row;
}

TEST_F(ArchiveContentsTest, SourceThatIsALinkIsFollowedAndNamedByTheLink) {
  makeBundle(dir_ / "real/Target.dSYM");
  fs::create_symlink(dir_ / "real/Target.dSYM", bundle_);
  ASSERT_EQ(archive(bundle_, zip_).status, 0);
  auto entries = listEntries(zip_);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].name, "App.app.dSYM/");
  EXPECT_TRUE(S_ISDIR(entries[0].mode));
  expectArchiveEqualsTree(zip_, dir_ / "real/Target.dSYM", "App.app.dSYM", dir_ / "out");
}

TEST_F(ArchiveContentsTest, SourceWithTrailingSlashKeepsItsName) {
  makeBundle(bundle_);
  ASSERT_EQ(archive(bundle_ + "/", zip_).status, 0);
  EXPECT_EQ(listEntries(zip_).at(0).name, "App.app.dSYM/");
}

// Files of several compression chunks: the pieces made in parallel must join
// into one stream with the whole file's CRC-32.
TEST_F(ArchiveContentsTest, LargeFilesOfEveryKindOfDataSurviveTheRoundTrip) {
  std::mt19937_64 random(42);
  std::string noise(9 << 20, '\0');
  for (auto& c : noise) c = static_cast<char>(random());
  writeFile(bundle_ + "/Contents/random", noise);
  writeFile(bundle_ + "/Contents/zeros", std::string(13 << 20, '\0'));
  writeFile(bundle_ + "/Contents/dwarf", dwarfLikeBytes((11 << 20) + 12345, 3));
  std::string mixed = dwarfLikeBytes(3 << 20, 5) + noise.substr(0, 2 << 20) +
                      std::string(3 << 20, 'x') + dwarfLikeBytes(777, 9);
  writeFile(bundle_ + "/Contents/mixed", mixed);
  auto result = archive(bundle_, zip_);
  ASSERT_EQ(result.status, 0) << result.err;
  expectArchiveEqualsTree(zip_, bundle_, "App.app.dSYM", dir_ / "out");
  EXPECT_LT(fs::file_size(zip_), noise.size() + mixed.size() + (7 << 20))
      << "compressible data was not compressed";
}

TEST_F(ArchiveContentsTest, DeepTreeWithPathsLongerThanTheSystemLimit) {
  constexpr int kDepth = 2000;
  fs::create_directories(bundle_);
  int fd = open(bundle_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < kDepth; ++level) {
    ASSERT_EQ(mkdirat(fd, "dd", 0755), 0);
    int child = openat(fd, "dd", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = child;
    ASSERT_GE(fd, 0);
  }
  int file = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "leaf\n", 5), 5);
  close(file);
  close(fd);
  auto result = archive(bundle_, zip_);
  auto entries = listEntries(zip_);
  // rm removes trees of any depth; the temporary folder's own cleanup may not.
  runTool({"rm", "-rf", bundle_});
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_EQ(entries.size(), static_cast<size_t>(kDepth + 2));
  std::string leaf = "App.app.dSYM/";
  for (int level = 0; level < kDepth; ++level) leaf += "dd/";
  leaf += "leaf";
  EXPECT_GT(leaf.size(), 4096u);
  EXPECT_EQ(entries.back().name, leaf);
  EXPECT_EQ(entries.back().size, 5u);
  auto python = runTool({"python3", "-c",
                         "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                         "sys.exit(0 if z.testzip() is None else 1)",
                         zip_});
  EXPECT_EQ(python.status, 0) << python.err;
}

TEST_F(ArchiveContentsTest, MoreEntriesThanTheClassicCountHoldsGetZip64Records) {
  constexpr int kFiles = 66000;
  fs::create_directories(bundle_);
  for (int i = 0; i < kFiles; ++i) {
    int fd = open((bundle_ + "/f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  auto result = archive(bundle_, zip_);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(listEntries(zip_).size(), static_cast<size_t>(kFiles + 1));
  auto unzip = runTool({"unzip", "-t", "-q", zip_});
  EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
  auto bsdtar = runTool({"bsdtar", "-tf", zip_});
  EXPECT_EQ(bsdtar.status, 0) << bsdtar.err;
  EXPECT_EQ(testsupport::countOf(bsdtar.out, "\n"), static_cast<size_t>(kFiles + 1));
}

class RealDsymTest : public testsupport::SampleAppTest {};

TEST_F(RealDsymTest, ADsymMadeByTheToolchainIsArchivedWhole) {
  TempDir dir;
  copySampleProductsTo(dir / "products");
  std::string dsym = dir / "products/App.app.dSYM";
  ASSERT_TRUE(fs::exists(dsym + "/Contents/Resources/DWARF/App"));
  auto result = archive(dsym, dir / "dsym.zip");
  ASSERT_EQ(result.status, 0) << result.err;
  expectArchiveEqualsTree(dir / "dsym.zip", dsym, "App.app.dSYM", dir / "out");
  auto uuids = runTool({"llvm-dwarfdump-14", "--uuid", dir / "out/App.app.dSYM"});
  auto original = runTool({"llvm-dwarfdump-14", "--uuid", dsym});
  EXPECT_EQ(uuids.status, 0) << uuids.err;
  EXPECT_FALSE(original.out.empty());
  EXPECT_EQ(testsupport::countOf(uuids.out, "UUID:"), testsupport::countOf(original.out, "UUID:"));
}

}  // namespace
}  // namespace archivertest
