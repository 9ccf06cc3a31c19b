// What upload-dsyms plans for the archives users make: every product that
// has a dSYM is checked against it wherever it is nested, a framework two
// apps embed goes to each, and a DWARF file that cannot be sent whole is
// named and counted, never left out in silence.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"
#include "uploader/Inputs.h"
#include "uploader/Plan.h"

namespace fs = std::filesystem;

namespace {

// A product of the archive, under Products/Applications, and the binary
// (a key of the fixtures) that is its executable.
struct Product {
  std::string path;
  std::string binary;
};

// A dSYM of the archive's dSYMs folder and the binary its DWARF file holds;
// `damage` changes its DWARF folder after it is made.
struct DSYM {
  std::string name;
  std::string binary;
  std::string damage;  // "", "empty", "extra16", "cut", "link"
};

struct LayoutRow {
  const char* name;
  std::vector<Product> products;
  std::vector<DSYM> dsyms;
  std::size_t uploads;
  int refused, badInputs;
  bool twoApps = false;  // the same archive again for another app
  // --id: keys of the fixtures, "Missing" for a UUID none holds; and how
  // many of them the plan does not find.
  std::vector<std::string> ids = {};
  std::size_t idsNotFound = 0;
};

const Product kApp{"App.app", "App"};
const std::vector<Product> kNested = {
    kApp, {"App.app/AppClips/Clip.app", "Clip"}, {"App.app/Frameworks/Kit.framework", "Kit"}};
const std::vector<DSYM> kNestedDSYMs = {
    {"App.app.dSYM", "App"}, {"Clip.app.dSYM", "Clip"}, {"Kit.framework.dSYM", "Kit"}};

const LayoutRow kRows[] = {
    {"NestedProductsMatchingTheirDSYMs", kNested, kNestedDSYMs, 3, 0, 0},
    {"IdsPickTheDSYMsHoldingThem", kNested, kNestedDSYMs, 2, 0, 0, false, {"Kit", "App"}},
    {"IdThatNoDSYMHolds", kNested, kNestedDSYMs, 1, 0, 0, false, {"Kit", "Missing"}, 1},
    {"StaleAppClip",
     {kApp, {"App.app/AppClips/Clip.app", "Clip"}},
     {{"App.app.dSYM", "App"}, {"Clip.app.dSYM", "Other"}},
     1,
     1,
     0},
    {"StaleWatchApp",
     {kApp, {"App.app/Watch/Clip.app", "Clip"}},
     {{"App.app.dSYM", "App"}, {"Clip.app.dSYM", "Other"}},
     1,
     1,
     0},
    {"StaleExtensionInAnExtension",
     {kApp, {"App.app/Extensions/Ext.appex/PlugIns/Clip.appex", "Clip"}},
     {{"Clip.appex.dSYM", "Other"}},
     0,
     1,
     0},
    {"StaleFrameworkInAFramework",
     {kApp, {"App.app/Frameworks/Kit.framework/Frameworks/Clip.framework", "Clip"}},
     {{"Clip.framework.dSYM", "Other"}},
     0,
     1,
     0},
    {"StaleFrameworkOfAMacApp",
     {{"App.app/Contents/MacOS/App", "App"}, {"App.app/Contents/Frameworks/Kit.framework", "Kit"}},
     {{"App.app.dSYM", "App"}, {"Kit.framework.dSYM", "Other"}},
     1,
     1,
     0},
    {"DSYMUnderAnotherNamePairedByItsUUIDs",
     {kApp, {"App.app/Frameworks/Kit.framework", "Kit"}},
     {{"Renamed.framework.dSYM", "Kit"}},
     1,
     0,
     0},
    {"SharedFrameworkGoesToEachApp",
     {kApp, {"App.app/Frameworks/Kit.framework", "Kit"}},
     {{"App.app.dSYM", "App"}, {"Kit.framework.dSYM", "Kit"}},
     4,
     0,
     0,
     true},
    {"EmptyDWARFFile", {kApp}, {{"App.app.dSYM", "App", "empty"}}, 0, 0, 1},
    {"SixteenByteFileBesideTheDWARFFile", {kApp}, {{"App.app.dSYM", "App", "extra16"}}, 0, 0, 1},
    {"IncompleteDWARFFile", {kApp}, {{"App.app.dSYM", "App", "cut"}}, 0, 0, 1},
    {"DWARFFileThatIsALink", {kApp}, {{"App.app.dSYM", "App", "link"}}, 1, 0, 0},
};

const char* const kArchiveInfo =
    "<plist version=\"1.0\"><dict><key>ApplicationProperties</key><dict>"
    "<key>CFBundleIdentifier</key><string>%s</string></dict></dict></plist>";

std::string archiveInfo(const std::string& identifier) {
  std::string text = kArchiveInfo;
  return text.replace(text.find("%s"), 2, identifier);
}

}  // namespace

class ArchiveLayoutTest : public ::testing::TestWithParam<LayoutRow> {
 protected:
  // One executable and one dSYM per key, made once for every row.
  static void SetUpTestSuite() {
    fixtures_ = new testsupport::TempDir;
    for (const char* key : {"App", "Clip", "Kit", "Other"}) {
      const std::string binary = testsupport::buildiOSExecutable(*fixtures_ / "bin", key, "9.0");
      testsupport::buildDSYM(binary, *fixtures_ / (std::string(key) + ".dSYM"));
    }
  }
  static void TearDownTestSuite() { delete fixtures_; }

  static std::string binary(const std::string& key) { return *fixtures_ / ("bin/" + key); }

  void addProduct(const fs::path& applications, const Product& product) {
    const fs::path path = applications / product.path;
    fs::create_directories(path.parent_path());
    if (path.parent_path().filename() == "MacOS") {
      fs::copy_file(binary(product.binary), path);
      testsupport::writeFile(path.parent_path().parent_path() / "Info.plist",
                             "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>" +
                                 path.filename().string() + "</string></dict></plist>");
      return;
    }
    fs::create_directories(path);
    fs::copy_file(binary(product.binary), path / path.stem());
  }

  void addDSYM(const fs::path& dsyms, const DSYM& dsym) {
    const fs::path bundle = dsyms / dsym.name;
    fs::copy(*fixtures_ / (dsym.binary + ".dSYM"), bundle, fs::copy_options::recursive);
    const fs::path dwarf = bundle / "Contents/Resources/DWARF" / dsym.binary;
    if (dsym.damage == "empty") fs::resize_file(dwarf, 0);
    if (dsym.damage == "extra16")
      testsupport::writeFile(dwarf.parent_path() / "Extra", "0123456789abcdef");
    if (dsym.damage == "cut") fs::resize_file(dwarf, fs::file_size(dwarf) / 2);
    if (dsym.damage == "link") {
      fs::rename(dwarf, dir / (dsym.name + ".cached"));
      fs::create_symlink(dir / (dsym.name + ".cached"), dwarf);
    }
  }

  std::string makeArchive(const LayoutRow& row, const std::string& name,
                          const std::string& identifier) {
    const fs::path archive = dir / name;
    for (const auto& product : row.products) addProduct(archive / "Products/Applications", product);
    fs::create_directories(archive / "dSYMs");
    for (const auto& dsym : row.dsyms) addDSYM(archive / "dSYMs", dsym);
    testsupport::writeFile(archive / "Info.plist", archiveInfo(identifier));
    return archive;
  }

  static testsupport::TempDir* fixtures_;
  testsupport::TempDir dir;
};

testsupport::TempDir* ArchiveLayoutTest::fixtures_ = nullptr;

TEST_P(ArchiveLayoutTest, EveryDSYMIsPlannedCheckedOrCounted) {
  const LayoutRow& row = GetParam();
  std::vector<std::string> paths = {makeArchive(row, "App.xcarchive", "com.example.App")};
  if (row.twoApps) paths.push_back(makeArchive(row, "Other.xcarchive", "com.example.Other"));
  const InputScan scan = scanInputs(paths, false);
  ASSERT_EQ(scan.badInputs, 0);
  UploadOptions options;
  for (const auto& key : row.ids)
    options.ids.push_back(key == "Missing" ? std::string(32, '0')
                                           : testsupport::dwarfdumpUUIDs(binary(key)).front().uuid);
  const UploadPlan plan = planUploads(scan.dsyms, options, dir / "zips");
  EXPECT_EQ(plan.idsNotFound.size(), row.idsNotFound);
  EXPECT_EQ(plan.uploads.size(), row.uploads);
  EXPECT_EQ(plan.refused, row.refused);
  EXPECT_EQ(plan.badInputs, row.badInputs);
  for (const auto& upload : plan.uploads) {
    const std::string stem = upload.dsymName.substr(0, upload.dsymName.find('.'));
    const std::string key = stem == "Renamed" ? "Kit" : stem;
    EXPECT_EQ(upload.pairs.size(), 1u);
    EXPECT_EQ(upload.pairs.front().uuid, testsupport::dwarfdumpUUIDs(binary(key)).front().uuid);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ArchiveLayoutTest, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
