#include <gtest/gtest.h>

#include <filesystem>

#include "driver/ArtifactPlist.h"
#include "platform/propertylists/PropertyList.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

const std::string kAPIKey = "0123456789abcdef0123456789abcdef01234567";

}  // namespace

class ArtifactPlistTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  platform::Environment environment{{"BUILT_PRODUCTS_DIR", dir.path()}};
};

TEST_F(ArtifactPlistTest, YesOneAndTrueAskForIt) {
  for (const char* value : {"YES", "1", "true"}) {
    environment["QUORVEX_CREATE_ARTIFACT"] = value;
    EXPECT_EQ(artifactPlistPath(environment), dir / "quorvex.plist") << value;
  }
}

TEST_F(ArtifactPlistTest, LeadingZerosAreSkippedBeforeTheFirstCharacterCounts) {
  for (const char* value : {"01", "007", " -0y"}) {
    environment["QUORVEX_CREATE_ARTIFACT"] = value;
    EXPECT_EQ(artifactPlistPath(environment), dir / "quorvex.plist") << value;
  }
  for (const char* value : {"00", "+000", "0n"}) {
    environment["QUORVEX_CREATE_ARTIFACT"] = value;
    EXPECT_FALSE(artifactPlistPath(environment)) << value;
  }
}

TEST_F(ArtifactPlistTest, NoZeroAndAbsentDoNot) {
  EXPECT_FALSE(artifactPlistPath(environment));
  for (const char* value : {"NO", "0", ""}) {
    environment["QUORVEX_CREATE_ARTIFACT"] = value;
    EXPECT_FALSE(artifactPlistPath(environment)) << value;
  }
}

TEST_F(ArtifactPlistTest, TheArtifactPathIsUsedWhenPresentEvenEmpty) {
  environment["QUORVEX_CREATE_ARTIFACT"] = "YES";
  environment["QUORVEX_ARTIFACT_PATH"] = dir / "elsewhere/a.plist";
  EXPECT_EQ(artifactPlistPath(environment), dir / "elsewhere/a.plist");
  environment["QUORVEX_ARTIFACT_PATH"] = "";
  EXPECT_EQ(artifactPlistPath(environment), "");
}

TEST_F(ArtifactPlistTest, WritesTheAPIKeyAsAnXMLPropertyList) {
  environment["QUORVEX_CREATE_ARTIFACT"] = "YES";
  testing::internal::CaptureStderr();
  writeArtifactPlistIfRequested(environment, kAPIKey);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(platform::dictionaryWithContentsOfFile(dir / "quorvex.plist"),
            (Value{{"QuorvexAPIKey", kAPIKey}}));
  EXPECT_NE(testsupport::readFile(dir / "quorvex.plist").find("<key>QuorvexAPIKey</key>"),
            std::string::npos);
}

TEST_F(ArtifactPlistTest, WritesNothingWhenNotAskedFor) {
  environment["QUORVEX_CREATE_ARTIFACT"] = "NO";
  writeArtifactPlistIfRequested(environment, kAPIKey);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(ArtifactPlistTest, APathInAMissingFolderIsLoggedAndTheRunGoesOn) {
  environment["QUORVEX_CREATE_ARTIFACT"] = "1";
  environment["QUORVEX_ARTIFACT_PATH"] = dir / "missing/quorvex.plist";
  testing::internal::CaptureStderr();
  writeArtifactPlistIfRequested(environment, kAPIKey);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("] \n\nBrantle: Failed to write data to artifact path " +
                     dir / "missing/quorvex.plist\n\n\n"),
            std::string::npos)
      << err;
  EXPECT_FALSE(fs::exists(dir / "missing"));
}
