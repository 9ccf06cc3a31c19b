#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "platform/files/FileRemoval.h"
#include "platform/zip/ZipExtraction.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Runs ENTRIES as Python with `z` an open zipfile at the path, `out` a
// folder outside the extraction, `dsym` a folder holding a real App.dSYM
// (when the case asks for one) and `entry(name, mode)` a Unix entry.
const char* kZipMaker = R"(
import os, subprocess, sys, zipfile
path, out, dsym = sys.argv[1], sys.argv[2], sys.argv[4]
def entry(name, mode):
    info = zipfile.ZipInfo(name)
    info.create_system, info.external_attr = 3, mode << 16
    return info
z = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
exec(sys.argv[3])
z.close()
)";

// "d" for a folder, "f" for a file, "?" else, and the mode in decimal.
std::string kindAndMode(const struct stat& st) {
  return (S_ISDIR(st.st_mode)   ? "d"
          : S_ISREG(st.st_mode) ? "f"
                                : "?") +
         std::to_string(st.st_mode & 07777);
}

// Every folder and file under the root with its mode, one per line.
std::string listing(const std::string& root) {
  std::set<std::string> lines;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    lstat(item.path().c_str(), &st);
    lines.insert(fs::relative(item.path(), root).string() + " " + kindAndMode(st));
  }
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// Counts the folders and files under the open folder (which it closes) by
// kind and mode. Each is reached by its name in its folder, since their
// paths may be longer than a path may be.
void countUnder(int folder, std::map<std::string, std::size_t>& count) {
  DIR* listed = fdopendir(folder);
  ASSERT_NE(listed, nullptr);
  while (const dirent* item = readdir(listed)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    fstatat(dirfd(listed), item->d_name, &st, AT_SYMLINK_NOFOLLOW);
    ++count[kindAndMode(st)];
    if (S_ISDIR(st.st_mode))
      countUnder(openat(dirfd(listed), item->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW), count);
  }
  closedir(listed);
}

// How many folders and files of each mode are under the root, one kind
// and mode a line, for trees too large to list.
std::string counts(const std::string& root) {
  std::map<std::string, std::size_t> count;
  countUnder(open(root.c_str(), O_RDONLY | O_DIRECTORY), count);
  std::string text;
  for (const auto& [kind, number] : count) text += std::to_string(number) + " " + kind + "\n";
  return text;
}

enum class Outcome { refused, extracted, counted };

struct Case {
  const char* what;
  const char* entries;
  std::uint64_t totalBytes;
  const char* expected;  // the listing (or counts) when it extracts, else a part of the error
  Outcome outcome = Outcome::refused;
  std::uint64_t wholeRatioFloorBytes = 8u << 20;
  bool realDSYM = false;
};

const std::uint64_t kNoLimit = 16ull << 30;

const Case kCases[] = {
    {"good", R"(
z.writestr("A.dSYM/", "")
z.writestr("./A.dSYM/Contents/Info.plist", "<plist/>")
z.writestr(entry("A.dSYM/Contents/Resources/DWARF/A", 0o104777), "x" * 5000)
z.writestr("./A.dSYM/Contents/Resources/", "")
z.writestr("Ünï.dSYM/Info.plist", "")
z.writestr("B.dSYM/Contents/", ""))",
     kNoLimit,
     "A.dSYM d493\nA.dSYM/Contents d493\nA.dSYM/Contents/Info.plist f420\n"
     "A.dSYM/Contents/Resources d493\nA.dSYM/Contents/Resources/DWARF d493\n"
     "A.dSYM/Contents/Resources/DWARF/A f493\nB.dSYM d493\nB.dSYM/Contents d493\n"
     "Ünï.dSYM d493\nÜnï.dSYM/Info.plist f420\n",
     Outcome::extracted},
    {"dot-dot", R"(z.writestr("ok", "x"); z.writestr("A.dSYM/../../escaped", "x"))", kNoLimit,
     "\"A.dSYM/../../escaped\" of the zip"},
    {"absolute", R"(z.writestr(out + "/escaped", "x"))", kNoLimit, "/escaped\" of the zip"},
    {"link out", R"(z.writestr(entry("link", 0o120777), out); z.writestr("link/escaped", "x"))",
     kNoLimit, "\"link\" of the zip"},
    {"too deep", R"(z.writestr("d/" * 32 + "f", "x"))", kNoLimit, "deeper than 32 folders"},
    {"twice", R"(z.writestr("a", "x"); z.writestr("./a", "y"))", kNoLimit, "\"./a\" of the zip"},
    {"twice among many", R"(
for i in range(1000): z.writestr("d/%d" % i, "")
z.writestr("./d/0", ""))",
     kNoLimit, "\"./d/0\" of the zip"},
    {"under a file", R"(z.writestr("a", "x"); z.writestr("a/b", "y"))", kNoLimit,
     "clashes with an earlier entry"},
    {"file over a folder", R"(z.writestr("a/b/c", "x"); z.writestr("a/b", "y"))", kNoLimit,
     "clashes with an earlier entry"},
    {"deep long names", R"(
for i in range(40):
    z.writestr("/".join("%04d%02d" % (i, j) + "x" * 234 for j in range(31)), ""))",
     kNoLimit, "1200 d493\n40 f420\n", Outcome::counted},
    {"ratio", R"(z.writestr("bomb", bytes(2 << 20)))", kNoLimit, "\"bomb\" of the zip"},
    {"small entries", R"(
for i in range(400): z.writestr("A.dSYM/f%03d" % i, bytes(1 << 20)))",
     kNoLimit, "expands to more than 100 times the bytes read from it (at the entry \"A.dSYM/f00"},
    {"small entries within the floor", R"(
for i in range(7): z.writestr("f%d" % i, bytes(1 << 20)))",
     kNoLimit, "f0 f420\nf1 f420\nf2 f420\nf3 f420\nf4 f420\nf5 f420\nf6 f420\n",
     Outcome::extracted},
    {"padded file", R"(z.writestr("A", os.urandom(100000) + bytes(9 << 20)))", kNoLimit, "A f420\n",
     Outcome::extracted},
    {"real dSYM by zip", R"(
z.close(); os.remove(path)
subprocess.run(["/usr/bin/zip", "-qr", path, "App.dSYM"], cwd=dsym, check=True))",
     kNoLimit,
     "App.dSYM d493\nApp.dSYM/Contents d493\nApp.dSYM/Contents/Info.plist f420\n"
     "App.dSYM/Contents/Resources d493\nApp.dSYM/Contents/Resources/DWARF d493\n"
     "App.dSYM/Contents/Resources/DWARF/App f420\n",
     Outcome::extracted, 0, true},
    {"total", R"(z.writestr("a", os.urandom(60000)); z.writestr("b", os.urandom(60000)))", 100000,
     "100000 bytes (at the entry \"b\")"},
    {"damaged", R"(
z.writestr("text", " ".join(str(i) for i in range(50000))); z.close()
data = bytearray(open(path, "rb").read()); data[200:260] = bytes(60); open(path, "wb").write(data))",
     kNoLimit, "is damaged"},
    {"not a zip", R"(z.close(); open(path, "w").write("plain text\n" * 100))", kNoLimit,
     "is damaged or not a zip"},
};

class ZipExtractionTest : public ::testing::TestWithParam<Case> {};

TEST_P(ZipExtractionTest, ExtractsOnlyIntoItsPrivateFolder) {
  const Case& c = GetParam();
  testsupport::TempDir dir;
  std::string tmp = dir / "tmp", out = dir / "out", zip = dir / "in.zip";
  fs::create_directories(tmp);
  fs::create_directories(out);
  std::string dsym = dir / "dsym";
  if (c.realDSYM)
    testsupport::buildDSYM(testsupport::buildiOSExecutable(dsym, "App", "12.0"),
                           dsym + "/App.dSYM");
  auto made =
      testsupport::runProcess({"/usr/bin/python3", "-c", kZipMaker, zip, out, c.entries, dsym},
                              {{"PYTHONWARNINGS", "ignore"}});
  ASSERT_EQ(made.status, 0) << made.err;
  testsupport::ScopedVariable tmpdir("TMPDIR", tmp);
  mode_t umaskBefore = umask(022);

  std::string error;
  platform::ZipExtractionLimits limits{c.totalBytes, 1u << 20, 100};
  limits.wholeRatioFloorBytes = c.wholeRatioFloorBytes;
  auto folder = platform::extractZipToPrivateFolder(zip, error, limits);
  if (folder) {
    EXPECT_EQ(fs::path(*folder).parent_path(), tmp);
    EXPECT_EQ(fs::status(*folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(c.outcome == Outcome::counted ? counts(*folder) : listing(*folder), c.expected);
    EXPECT_FALSE(platform::removeItemTreeAtPath(*folder));
  } else {
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_NE(error.find(zip), std::string::npos) << error;
  }
  umask(umaskBefore);
  EXPECT_EQ(c.outcome != Outcome::refused, folder.has_value()) << error;
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_TRUE(fs::is_empty(out));
}

INSTANTIATE_TEST_SUITE_P(Zips, ZipExtractionTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) {
                           std::string name = param.param.what;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
