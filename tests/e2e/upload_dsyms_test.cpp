// upload-dsyms on an archive as `xcodebuild archive` leaves it: the app,
// two embedded frameworks and an app extension, each with a dSYM made by
// dsymutil from a real Mach-O file, against the web service stand-in.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/BuildServerRun.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/SampleApp.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::fieldsOf;

namespace {

const std::vector<std::string> kBundles = {"App.app.dSYM", "Bar.framework.dSYM",
                                           "Foo.framework.dSYM", "Share.appex.dSYM"};
const testsupport::MachOTarget kiOS{"arm64", testsupport::ApplePlatform::iOS, "9.0", ""};

const char* const kArchiveInfo =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "\t<key>ApplicationProperties</key>\n\t<dict>\n"
    "\t\t<key>ApplicationPath</key><string>Applications/App.app</string>\n"
    "\t\t<key>CFBundleIdentifier</key><string>com.example.App</string>\n"
    "\t\t<key>CFBundleShortVersionString</key><string>2.1</string>\n"
    "\t\t<key>CFBundleVersion</key><string>77</string>\n"
    "\t</dict>\n</dict>\n</plist>\n";

std::string productInfo(const std::string& executable) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "\t<key>CFBundleExecutable</key>\n\t<string>" +
         executable + "</string>\n</dict>\n</plist>\n";
}

// The value of the first form field of that name.
std::string field(const platform::Value& record, const std::string& name) {
  for (const auto& [each, value] : fieldsOf(record))
    if (each == name) return value;
  return "";
}

}  // namespace

class UploadDSYMsArchiveTest : public testsupport::SampleAppTest {
 protected:
  void SetUp() override {
    copySampleProductsTo(work / "products");
    fs::create_directories(app.parent_path());
    fs::create_directories(archive / "dSYMs");
    fs::copy(work / "products/App.app", app, fs::copy_options::recursive);
    fs::copy(work / "products/App.app.dSYM", archive / "dSYMs/App.app.dSYM",
             fs::copy_options::recursive);
    addProduct("Frameworks/Foo.framework", testsupport::buildThinDylib(work.path(), "Foo", kiOS));
    addProduct("Frameworks/Bar.framework", testsupport::buildThinDylib(work.path(), "Bar", kiOS));
    addProduct("PlugIns/Share.appex", testsupport::buildThinExecutable(work.path(), "Share", kiOS));
    testsupport::writeFile(archive / "Info.plist", kArchiveInfo);
  }

  // A product embedded in the app, and its dSYM in the archive's dSYMs/.
  void addProduct(const std::string& product, const std::string& binary) {
    const std::string name = fs::path(binary).filename();
    fs::create_directories(app / product);
    fs::copy_file(binary, app / product / name);
    testsupport::writeFile(app / product / "Info.plist", productInfo(name));
    testsupport::buildDSYM(binary,
                           archive / "dSYMs" / (fs::path(product).filename().string() + ".dSYM"));
  }

  std::string dwarfOf(const std::string& bundle) const {
    const std::string stem = bundle.substr(0, bundle.find('.'));
    return archive / "dSYMs" / bundle / "Contents/Resources/DWARF" / stem;
  }

  testsupport::TempDir work, tmp;
  fs::path archive = fs::path(work.path()) / "App.xcarchive";
  fs::path app = archive / "Products/Applications/App.app";
};

TEST_F(UploadDSYMsArchiveTest, UploadsEveryDSYMWithItsOwnPairsAndTheArchivesIdentity) {
  testsupport::ServiceProcess service;
  auto environment = testsupport::privateXDGEnvironment(work / "home");
  environment["QUORVEX_API_KEY"] = testsupport::kBuildServerKey;
  environment["QUORVEX_CODE_MAPPING_BASE_URL"] = service.baseURL();
  environment["TMPDIR"] = tmp.path();
  auto result = testsupport::runProcess({testsupport::uploadDSYMsExecutable(), "--quiet", archive},
                                        environment);
  ASSERT_EQ(result.status, 0) << result.err;
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), kBundles.size()) << result.err;
  for (std::size_t i = 0; i < kBundles.size(); ++i) {
    SCOPED_TRACE(kBundles[i]);
    EXPECT_EQ(uploads[i]["zip"]["top"], kBundles[i] + "/");
    EXPECT_EQ(uploads[i]["problems"].size(), 0u) << uploads[i]["problems"].dump(1);
    EXPECT_EQ(uploads[i]["platform"], "ios");
    EXPECT_EQ(testsupport::uploadedPairs(uploads[i]), testsupport::summaryOf(dwarfOf(kBundles[i])));
    EXPECT_EQ(field(uploads[i], "project[identifier]"), "com.example.App");
    EXPECT_EQ(field(uploads[i], "project[display_version]"), "77");
    EXPECT_EQ(field(uploads[i], "project[build_version]"), "2.1");
    EXPECT_EQ(field(uploads[i], "code_mapping[build_configuration]"), "Release");
  }
  EXPECT_EQ(testsupport::countOf(result.err, "\n\nBrantle: uploaded 4 of 4\n"), 1u);
  EXPECT_TRUE(fs::is_empty(tmp.path()));
}

namespace {

struct ChangeRow {
  const char* name;
  const char* change;  // shell commands run on the bundle $1 before it is zipped
};

const ChangeRow kChangeRows[] = {
    {"RewrittenInPlaceWithTheSameUUIDs",
     "cat \"$1/Contents/Resources/DWARF/A\" >\"$1.copy\"; "
     "cat \"$1.copy\" >\"$1/Contents/Resources/DWARF/A\""},
    {"FileAddedToTheDWARFFolder", "head -c 16 /dev/zero >\"$1/Contents/Resources/DWARF/B\""},
};

}  // namespace

class UploadDSYMsChangedBundle : public ::testing::TestWithParam<ChangeRow> {};

// What the zip holds is what the check looked at: a bundle that changes
// between the look and the end of its zip is never sent.
TEST_P(UploadDSYMsChangedBundle, IsNotSentAndCountsAsNotUploaded) {
  testsupport::TempDir work;
  const std::string framework = work / "Brantle.framework";
  fs::create_directories(framework);
  fs::copy_file(testsupport::uploadDSYMsExecutable(), framework + "/upload-dsyms");
  testsupport::writeFile(framework + "/archiver",
                         std::string("#!/bin/sh\nset -e\nchange() {\n") + GetParam().change +
                             "\n}\nchange \"$4\"\nexec " + testsupport::binaryRoot() +
                             "/Brantle.framework/archiver \"$@\"\n");
  fs::permissions(framework + "/archiver", fs::perms::owner_all);
  const std::string binary = testsupport::buildThinExecutable(work / "bin", "A", kiOS);
  testsupport::buildDSYM(binary, work / "A.dSYM");
  testsupport::ServiceProcess service;
  auto environment = testsupport::privateXDGEnvironment(work / "home");
  environment["QUORVEX_API_KEY"] = testsupport::kBuildServerKey;
  environment["QUORVEX_CODE_MAPPING_BASE_URL"] = service.baseURL();
  environment["PATH"] = "/usr/bin:/bin";
  auto result = testsupport::runProcess(
      {framework + "/upload-dsyms", "--quiet", "--app-id", "com.example.App", work / "A.dSYM"},
      environment);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(testsupport::countOf(result.err, "A.dSYM changed while it was zipped"), 1u)
      << result.err;
  EXPECT_EQ(testsupport::countOf(result.err, "uploaded 0 of 1"), 1u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, UploadDSYMsChangedBundle, ::testing::ValuesIn(kChangeRows),
                         [](const auto& row) { return std::string(row.param.name); });
