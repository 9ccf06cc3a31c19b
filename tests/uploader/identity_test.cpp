// Where each project field and the platform word of an upload come from:
// the options first, then the archive, then the dSYM itself.
#include "uploader/Identity.h"

#include <gtest/gtest.h>

#include "macho/MachOFormat.h"

namespace {

struct IdentityRow {
  const char* name;
  UploadOptions options;
  const AppIdentity* archive;  // nullptr: not in an archive
  DSYMFacts dsym;
  const char* identifier;  // nullptr: no identifier
  const char* shortVersion;
  const char* build;
  const char* platformWord;
};

UploadOptions withOptions(const char* id, const char* version, const char* build,
                          const char* platformWord) {
  UploadOptions options;
  if (id) options.appId = id;
  if (version) options.appVersion = version;
  if (build) options.appBuild = build;
  if (platformWord) options.platformWord = platformWord;
  return options;
}

const AppIdentity kArchive{"com.example.Archived", "2.0", "200"};
const AppIdentity kArchiveWithoutProperties{};
const AppIdentity kArchiveWithNumbers{"com.example.Numbers", 2.5, 42};
const AppIdentity kArchiveWithEmptyTexts{"", "", ""};
const DSYMFacts kIOSDSYM{"1.0", "100", machofile::PLATFORM_IOS};

const IdentityRow kRows[] = {
    {"ArchiveGivesAll", {}, &kArchive, kIOSDSYM, "com.example.Archived", "2.0", "200", "ios"},
    {"OptionsOverTheArchive", withOptions("com.example.Given", "3.0", "300", "mac"), &kArchive,
     kIOSDSYM, "com.example.Given", "3.0", "300", "mac"},
    {"OneOptionOverTheArchive", withOptions(nullptr, nullptr, "301", nullptr), &kArchive, kIOSDSYM,
     "com.example.Archived", "2.0", "301", "ios"},
    {"OutsideAnArchiveTheDSYMGivesVersions",
     withOptions("com.example.Given", nullptr, nullptr, nullptr), nullptr, kIOSDSYM,
     "com.example.Given", "1.0", "100", "ios"},
    {"ArchiveWithoutVersionsFallsBackToTheDSYM",
     {},
     &kArchiveWithoutProperties,
     {"1.5", "150", std::nullopt},
     nullptr,
     "1.5",
     "150",
     "unknown"},
    {"NumbersGoAsTheirText",
     {},
     &kArchiveWithNumbers,
     kIOSDSYM,
     "com.example.Numbers",
     "2.5",
     "42",
     "ios"},
    {"EmptyTextsFallThrough", {}, &kArchiveWithEmptyTexts, kIOSDSYM, nullptr, "1.0", "100", "ios"},
    {"SimulatorIsIOS",
     withOptions("a", nullptr, nullptr, nullptr),
     nullptr,
     {{}, {}, machofile::PLATFORM_IOSSIMULATOR},
     "a",
     nullptr,
     nullptr,
     "ios"},
    {"MacOSIsMac",
     withOptions("a", nullptr, nullptr, nullptr),
     nullptr,
     {{}, {}, machofile::PLATFORM_MACOS},
     "a",
     nullptr,
     nullptr,
     "mac"},
    {"WatchOSIsUnknown",
     withOptions("a", nullptr, nullptr, nullptr),
     nullptr,
     {{}, {}, machofile::PLATFORM_WATCHOS},
     "a",
     nullptr,
     nullptr,
     "unknown"},
};

platform::Value expected(const char* text) {
  return text ? platform::Value(text) : platform::Value();
}

}  // namespace

class IdentityResolution : public ::testing::TestWithParam<IdentityRow> {};

TEST_P(IdentityResolution, FieldsComeFromOptionsThenArchiveThenDSYM) {
  const IdentityRow& row = GetParam();
  DSYMUploadDescription description;
  resolveIdentity(row.options, row.archive, row.dsym, description);
  EXPECT_EQ(description.identifier, expected(row.identifier));
  EXPECT_EQ(description.buildVersion, expected(row.shortVersion));
  EXPECT_EQ(description.displayVersion, expected(row.build));
  EXPECT_EQ(description.platformWord, row.platformWord);
  EXPECT_EQ(description.configuration, row.options.configuration);
}

INSTANTIATE_TEST_SUITE_P(Rows, IdentityResolution, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
