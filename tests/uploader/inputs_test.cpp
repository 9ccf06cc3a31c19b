// What each kind of PATH gives: the dSYM bundles under it, or bad input.
#include "uploader/Inputs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct InputRow {
  const char* name;
  std::vector<std::string> paths;  // relative to the test's folder
  std::vector<std::string> found;  // bundles, relative to the test's folder
  int badInputs;
  bool appId = false;  // --app-id given
};

const InputRow kRows[] = {
    {"Bundle", {"in/A.dSYM"}, {"in/A.dSYM"}, 0},
    {"FolderWithNestedBundlesNotFollowingLinks", {"in"}, {"in/A.dSYM", "in/deeper/B.dSYM"}, 0},
    {"MissingPath", {"missing", "in/A.dSYM"}, {"in/A.dSYM"}, 1},
    {"PlainFile", {"in/notes.txt"}, {}, 1},
    {"FolderWithoutBundles", {"empty"}, {}, 1},
    {"ArchiveWithoutInfoPlist", {"Broken.xcarchive"}, {}, 1},
    {"ArchiveWithoutInfoPlistGivenAnAppId",
     {"Broken.xcarchive"},
     {"Broken.xcarchive/dSYMs/App.app.dSYM"},
     0,
     true},
    {"ArchiveWithDamagedInfoPlist", {"Damaged.xcarchive"}, {}, 1},
    {"Archive", {"App.xcarchive"}, {"App.xcarchive/dSYMs/App.app.dSYM"}, 0},
    {"ZipFromAMacWithMACOSXFolder", {"Finder.zip"}, {"Finder.zip:A.dSYM"}, 0},
    {"FolderHoldingAZip", {"zips"}, {"zips/Finder.zip:A.dSYM"}, 0},
};

}  // namespace

class InputScanTest : public ::testing::TestWithParam<InputRow> {
 protected:
  void SetUp() override {
    const std::string machO = testsupport::buildMacOSExecutable(dir / "objects", "A", "10.15");
    for (const char* bundle :
         {"in/A.dSYM", "in/deeper/B.dSYM", "outside/C.dSYM", "Broken.xcarchive/dSYMs/App.app.dSYM",
          "Damaged.xcarchive/dSYMs/App.app.dSYM", "App.xcarchive/dSYMs/App.app.dSYM",
          "finder/A.dSYM"}) {
      const std::string dwarf = dir / (std::string(bundle) + "/Contents/Resources/DWARF");
      fs::create_directories(dwarf);
      fs::copy_file(machO, dwarf + "/A");
    }
    // Folders named .dSYM that are no bundle: skipped under a folder.
    fs::create_directories(dir / "in/deeper/Cache.dSYM");
    testsupport::writeFile(dir / "finder/__MACOSX/A.dSYM/Contents/Resources/DWARF/._A",
                           "AppleDouble");
    ASSERT_EQ(testsupport::runProcess({"/usr/bin/zip", "-qr", dir / "Finder.zip", "."}, {},
                                      dir / "finder")
                  .status,
              0);
    fs::create_directories(dir / "zips");
    fs::copy_file(dir / "Finder.zip", dir / "zips/Finder.zip");
    fs::create_symlink(dir / "outside", dir / "in/linked");
    fs::create_symlink(dir / "outside/C.dSYM", dir / "in/C.dSYM");
    fs::create_directories(dir / "empty");
    testsupport::writeFile(dir / "in/notes.txt", "not a dSYM");
    testsupport::writeFile(dir / "Damaged.xcarchive/Info.plist", "<plist><dict><key>");
    testsupport::writeFile(dir / "App.xcarchive/Info.plist",
                           "<plist version=\"1.0\"><dict><key>ApplicationProperties</key><dict>"
                           "<key>CFBundleIdentifier</key><string>com.example.App</string>"
                           "</dict></dict></plist>");
  }
  testsupport::TempDir dir;
};

TEST_P(InputScanTest, FindsTheBundlesOrReportsBadInput) {
  const InputRow& row = GetParam();
  std::vector<std::string> paths;
  for (const auto& path : row.paths) paths.push_back(dir / path);
  const InputScan scan = scanInputs(paths, row.appId);
  std::vector<std::string> found;
  for (const auto& dsym : scan.dsyms)
    found.push_back(dsym.shownPath().substr(dir.path().size() + 1));
  EXPECT_EQ(found, row.found);
  EXPECT_EQ(scan.badInputs, row.badInputs);
  for (const auto& dsym : scan.dsyms) {
    if (dsym.archive && !row.appId) {
      EXPECT_EQ(dsym.archive->identity.identifier, "com.example.App");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, InputScanTest, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
