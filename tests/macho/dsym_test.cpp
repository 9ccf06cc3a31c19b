// QVXdSYM over real dsymutil bundles and hand-made folders.

#include <gtest/gtest.h>

#include <filesystem>

#include "macho/QVXdSYM.h"
#include "tests/macho/MachOBuilder.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/TestSupport.h"

using testsupport::TempDir;
using testsupport::UUIDAndArchitecture;

namespace {

std::shared_ptr<QVXdSYM> dSYMAt(const std::string& path) {
  return QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(path));
}

std::string infoPlist(const std::string& identifier) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>CFBundleIdentifier</key><string>" +
         identifier +
         "</string><key>CFBundleVersion</key><string>7</string>"
         "<key>CFBundleShortVersionString</key><string>2.1</string></dict></plist>\n";
}

// A bundle folder with the given identifier and one DWARF file.
std::string handMadeBundle(const TempDir& dir, const std::string& identifier) {
  std::string bundle = dir / "Made.dSYM";
  testsupport::writeFile(bundle + "/Contents/Info.plist", infoPlist(identifier));
  testsupport::makeDirectories(bundle + "/Contents/Resources/DWARF");
  machobuilder::writeBytes(bundle + "/Contents/Resources/DWARF/Made",
                           machobuilder::MachOImage().uuid(machobuilder::uuidFrom(1)).bytes());
  return bundle;
}

std::vector<UUIDAndArchitecture> pairsOf(const QVXdSYM& dSYM) {
  std::vector<UUIDAndArchitecture> pairs;
  dSYM.enumerateUUIDs([&](const std::optional<std::string>& uuid, const std::string& arch) {
    pairs.push_back({uuid.value_or("(none)"), arch});
  });
  return pairs;
}

}  // namespace

TEST(QVXdSYM, RealBundleGivesItsIdentityAndSlices) {
  TempDir dir;
  auto fat = testsupport::buildFatFile(
      dir / "App", {testsupport::buildiOSExecutable(dir.path(), "App-arm64", "9.0"),
                    testsupport::buildiOSSimulatorExecutable(dir.path(), "App-sim", "9.0")});
  auto dwarf = testsupport::buildDSYM(fat, dir / "App.app.dSYM");
  auto dSYM = dSYMAt(dir / "App.app.dSYM");
  ASSERT_NE(dSYM, nullptr);
  // dsymutil names the bundle identifier after the bundle.
  EXPECT_EQ(dSYM->bundleIdentifier(), "App.app");
  EXPECT_EQ(dSYM->executablePath(), dwarf);
  ASSERT_TRUE(dSYM->executableURL());
  EXPECT_EQ(dSYM->executableURL()->path(), dwarf);
  EXPECT_EQ(dSYM->bundleVersion(), platform::Value("1"));
  EXPECT_EQ(dSYM->shortBundleVersion(), platform::Value("1.0"));
  EXPECT_EQ(pairsOf(*dSYM), testsupport::dwarfdumpUUIDs(dwarf));
  EXPECT_EQ(pairsOf(*dSYM).size(), 2u);
}

TEST(QVXdSYM, IdentifierWithoutPrefixIsKept) {
  TempDir dir;
  auto dSYM = dSYMAt(handMadeBundle(dir, "com.example.Made"));
  ASSERT_NE(dSYM, nullptr);
  EXPECT_EQ(dSYM->bundleIdentifier(), "com.example.Made");
  EXPECT_EQ(dSYM->bundleVersion(), platform::Value("7"));
  EXPECT_EQ(dSYM->shortBundleVersion(), platform::Value("2.1"));
}

TEST(QVXdSYM, PrefixInOtherLetterCaseIsKept) {
  TempDir dir;
  auto dSYM = dSYMAt(handMadeBundle(dir, "COM.APPLE.XCODE.DSYM.com.example.Made"));
  EXPECT_EQ(dSYM->bundleIdentifier(), "COM.APPLE.XCODE.DSYM.com.example.Made");
}

TEST(QVXdSYM, PrefixIsRemovedFromAProductIdentifier) {
  TempDir dir;
  auto dSYM = dSYMAt(handMadeBundle(dir, "com.apple.xcode.dsym.com.example.Made"));
  EXPECT_EQ(dSYM->bundleIdentifier(), "com.example.Made");
}

TEST(QVXdSYM, BundleWithoutInformationListHasNoIdentity) {
  TempDir dir;
  auto bundle = handMadeBundle(dir, "x");
  std::filesystem::remove(bundle + "/Contents/Info.plist");
  auto dSYM = dSYMAt(bundle);
  ASSERT_NE(dSYM, nullptr);
  EXPECT_EQ(dSYM->bundleIdentifier(), std::nullopt);
  EXPECT_EQ(dSYM->bundleVersion(), std::nullopt);
  EXPECT_EQ(pairsOf(*dSYM).size(), 1u);
}

TEST(QVXdSYM, EmptyOrMissingDWARFFolderGivesNone) {
  TempDir dir;
  auto bundle = handMadeBundle(dir, "x");
  std::filesystem::remove(bundle + "/Contents/Resources/DWARF/Made");
  EXPECT_EQ(dSYMAt(bundle), nullptr);
  std::filesystem::remove(bundle + "/Contents/Resources/DWARF");
  EXPECT_EQ(dSYMAt(bundle), nullptr);
}

TEST(QVXdSYM, DWARFThatIsAPlainFileGivesNone) {
  TempDir dir;
  auto bundle = handMadeBundle(dir, "x");
  std::filesystem::remove_all(bundle + "/Contents/Resources/DWARF");
  testsupport::writeFile(bundle + "/Contents/Resources/DWARF", "not a folder");
  EXPECT_EQ(dSYMAt(bundle), nullptr);
}

TEST(QVXdSYM, PlainFileOrMissingPathGivesNone) {
  TempDir dir;
  testsupport::writeFile(dir / "file.dSYM", "plain");
  EXPECT_EQ(dSYMAt(dir / "file.dSYM"), nullptr);
  EXPECT_EQ(dSYMAt(dir / "missing.dSYM"), nullptr);
  EXPECT_EQ(QVXdSYM::initWithURL(std::nullopt), nullptr);
}

TEST(QVXdSYM, FirstEntryThatIsAFolderLeavesNoBinary) {
  TempDir dir;
  auto bundle = handMadeBundle(dir, "x");
  std::filesystem::remove(bundle + "/Contents/Resources/DWARF/Made");
  testsupport::makeDirectories(bundle + "/Contents/Resources/DWARF/A");
  machobuilder::writeBytes(bundle + "/Contents/Resources/DWARF/A/Made",
                           machobuilder::MachOImage().uuid(machobuilder::uuidFrom(1)).bytes());
  auto dSYM = dSYMAt(bundle);
  ASSERT_NE(dSYM, nullptr);
  EXPECT_EQ(dSYM->executablePath(), std::nullopt);
  EXPECT_EQ(dSYM->executableURL(), std::nullopt);
  int calls = 0;
  dSYM->enumerateUUIDs([&](const std::optional<std::string>&, const std::string&) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(dSYM->bundleIdentifier(), "x");
}

TEST(QVXdSYM, ShortDWARFFileLeavesNoBinary) {
  TempDir dir;
  auto bundle = handMadeBundle(dir, "x");
  testsupport::writeFile(bundle + "/Contents/Resources/DWARF/Made", "short");
  auto dSYM = dSYMAt(bundle);
  ASSERT_NE(dSYM, nullptr);
  EXPECT_EQ(dSYM->executablePath(), std::nullopt);
}
