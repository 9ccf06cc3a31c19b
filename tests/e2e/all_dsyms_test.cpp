// Build-server mode with QUORVEX_UPLOAD_ALL_DSYMS: the dSYM of every
// embedded framework and extension goes up after the app's, each with the
// UUIDs of its own DWARF file, each checked against its product first.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/BuildServerRun.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::countOf;
using testsupport::fieldsOf;
using testsupport::ServiceProcess;
using testsupport::Settings;

namespace {

const std::vector<std::string> kBundles = {"App.app.dSYM", "Bar.framework.dSYM",
                                           "Foo.framework.dSYM", "Share.appex.dSYM"};

std::string infoPlist(const std::string& executable) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "\t<key>CFBundleExecutable</key>\n\t<string>" +
         executable + "</string>\n</dict>\n</plist>\n";
}

const testsupport::MachOTarget kiOS{"arm64", testsupport::ApplePlatform::iOS, "9.0", ""};

}  // namespace

// The sample app with two frameworks and an app extension beside it, each
// product with its dSYM made by dsymutil.
class AllDSYMsTest : public testsupport::BuildServerRunTest {
 protected:
  void SetUp() override {
    BuildServerRunTest::SetUp();
    addProduct("Foo.framework", testsupport::buildThinDylib(work.path(), "Foo", kiOS));
    addProduct("Bar.framework", testsupport::buildThinDylib(work.path(), "Bar", kiOS));
    addProduct("Share.appex", testsupport::buildThinExecutable(work.path(), "Share", kiOS));
    rememberProductsFolder();
  }

  // PRODUCT with its binary and Info.plist, and PRODUCT.dSYM beside it.
  void addProduct(const std::string& product, const std::string& binary) {
    const std::string name = fs::path(binary).filename();
    testsupport::buildDSYM(binary, products + "/" + product + ".dSYM");
    testsupport::makeDirectories(products + "/" + product);
    fs::copy_file(binary, products + "/" + product + "/" + name);
    testsupport::writeFile(products + "/" + product + "/Info.plist", infoPlist(name));
  }

  Settings settingsUploadingAll(const ServiceProcess& service) const {
    Settings settings = buildSettings(service.baseURL());
    settings["QUORVEX_UPLOAD_ALL_DSYMS"] = "YES";
    return settings;
  }

  std::string dwarfOf(const std::string& bundle) const {
    const std::string stem = bundle.substr(0, bundle.find('.'));
    return products + "/" + bundle + "/Contents/Resources/DWARF/" + stem;
  }

  testsupport::TempDir work;
};

class UploadAllSettingTest : public AllDSYMsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UploadAllSettingTest, UploadsEveryBundleOnlyWhenAsked) {
  ServiceProcess service;
  auto result = runUnderBotsDaemon(GetParam() ? settingsUploadingAll(service)
                                              : buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(service.records("notification").size(), 1u);
  auto uploads = service.records("upload");
  const std::size_t expected = GetParam() ? kBundles.size() : 1;
  ASSERT_EQ(uploads.size(), expected);
  for (std::size_t i = 0; i < expected; ++i) {
    EXPECT_EQ(uploads[i]["zip"]["top"], kBundles[i] + "/");
    EXPECT_EQ(uploads[i]["problems"].size(), 0u) << uploads[i]["problems"].dump(1);
    EXPECT_EQ(testsupport::uploadedPairs(uploads[i]), testsupport::summaryOf(dwarfOf(kBundles[i])));
    EXPECT_EQ(countOf(result.err, "\n\nBrantle: " + kBundles[i] + " uploaded statusCode 201\n"),
              1u);
  }
  expectNoZipBesideTheDSYM();
}

INSTANTIATE_TEST_SUITE_P(Setting, UploadAllSettingTest, ::testing::Values(true, false),
                         [](const auto& row) { return row.param ? "Set" : "Absent"; });

TEST_F(AllDSYMsTest, OneBundleRefusedTwiceFailsTheRunAndTheOthersStillGo) {
  // The app's upload, then Bar's two attempts.
  ServiceProcess service({"--upload-answers", "201,500,500"});
  auto result = runUnderBotsDaemon(settingsUploadingAll(service));
  EXPECT_EQ(result.status, 1) << result.err;
  const std::string refused =
      "\n\nBrantle: Bar.framework.dSYM could not be uploaded statusCode 500\n";
  EXPECT_EQ(countOf(result.err, refused), 1u) << result.err;
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), 5u);
  EXPECT_EQ(uploads[3]["zip"]["top"], "Foo.framework.dSYM/");
  EXPECT_EQ(uploads[4]["zip"]["top"], "Share.appex.dSYM/");
  expectNoZipBesideTheDSYM();
}

TEST_F(AllDSYMsTest, FrameworkRelinkedAfterItsDSYMStopsTheRunBeforeAnythingIsSent) {
  const std::string relinked = testsupport::buildThinDylib(work.path(), "FooRelinked", kiOS);
  fs::copy_file(relinked, products + "/Foo.framework/Foo", fs::copy_options::overwrite_existing);
  ServiceProcess service;
  Settings settings = settingsUploadingAll(service);
  settings["QUORVEX_DSYM_WAIT_SECONDS"] = "0";
  auto result = runUnderBotsDaemon(settings);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: dSYM Error\n\nFoo.framework.dSYM at path " +
                                    products + "/Foo.framework.dSYM does not describe"),
            1u)
      << result.err;
  EXPECT_EQ(service.records("notification").size() + service.records("upload").size(), 0u);
  expectNoZipBesideTheDSYM();
}

// A .DS_Store and a stale Alpha sort before Foo in Foo's DWARF folder, and a
// Cache.dSYM folder holds no DWARF file: Foo goes up with Foo's own pairs,
// and Cache.dSYM is skipped.
TEST_F(AllDSYMsTest, StrayFilesGiveNoPairsAndAFolderThatIsNoBundleIsSkipped) {
  const std::string dwarf = products + "/Foo.framework.dSYM/Contents/Resources/DWARF/";
  testsupport::writeFile(dwarf + ".DS_Store", std::string(64, '\1'));
  const std::string alpha = testsupport::buildThinDylib(work.path(), "Alpha", kiOS);
  fs::copy_file(testsupport::buildDSYM(alpha, work / "Alpha.dSYM"), dwarf + "Alpha");
  testsupport::makeDirectories(products + "/Cache.dSYM/Contents");
  ServiceProcess service;
  auto result = runUnderBotsDaemon(settingsUploadingAll(service));
  ASSERT_EQ(result.status, 0) << result.err;
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), kBundles.size());
  EXPECT_EQ(uploads[2]["zip"]["top"], "Foo.framework.dSYM/");
  EXPECT_EQ(testsupport::uploadedPairs(uploads[2]),
            testsupport::summaryOf(dwarfOf("Foo.framework.dSYM")));
  EXPECT_EQ(countOf(result.err, "Cache.dSYM uploaded"), 0u) << result.err;
}
