// The rules that decide what a run of upload-dsyms sends and how it ends:
// the same dSYM once, the exit status, and the command line's usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uploader/Identity.h"
#include "uploader/Options.h"
#include "uploader/Plan.h"

namespace {

const UUIDArchitecturePair kA{"4c4c446c55553144a10c85d71a15364e", "x86_64"};
const UUIDArchitecturePair kB{"4c4c44a355553144a1fe5895eb604200", "arm64"};
const UUIDArchitecturePair kBAsArm64e{"4c4c44a355553144a1fe5895eb604200", "arm64e"};

struct DedupRow {
  const char* name;
  std::vector<UUIDArchitecturePair> first, second;
  bool same;
  const char* secondIdentifier = "com.example.App";
};

const DedupRow kDedupRows[] = {
    {"SamePairsSameOrder", {kA, kB}, {kA, kB}, true},
    {"SamePairsOtherOrder", {kA, kB}, {kB, kA}, true},
    {"RepeatedPairCountsOnce", {kA, kB, kB}, {kB, kA}, true},
    {"OneSliceMore", {kA, kB}, {kA}, false},
    {"SameUUIDOtherArchitecture", {kB}, {kBAsArm64e}, false},
    {"SamePairsForAnotherApp", {kA, kB}, {kA, kB}, false, "com.example.Other"},
};

DSYMUploadDescription describedFor(const char* identifier,
                                   const std::vector<UUIDArchitecturePair>& pairs) {
  DSYMUploadDescription description;
  description.identifier = identifier;
  description.pairs = pairs;
  return description;
}

}  // namespace

class DedupKey : public ::testing::TestWithParam<DedupRow> {};

TEST_P(DedupKey, TheSameAppAndUUIDSetIsTheSameUpload) {
  const DedupRow& row = GetParam();
  EXPECT_EQ(dedupKey(describedFor("com.example.App", row.first)) ==
                dedupKey(describedFor(row.secondIdentifier, row.second)),
            row.same);
}

INSTANTIATE_TEST_SUITE_P(Rows, DedupKey, ::testing::ValuesIn(kDedupRows),
                         [](const auto& row) { return std::string(row.param.name); });

namespace {

struct ExitRow {
  const char* name;
  int badInputs, uploaded, total, status;
};

const ExitRow kExitRows[] = {
    {"EveryDSYMUploaded", 0, 4, 4, 0},
    {"OneNotUploaded", 0, 3, 4, 1},
    {"OneBadPathBesideUploads", 1, 4, 4, 1},
    {"NothingToSendAndNothingBad", 0, 0, 0, 0},
    {"OnlyBadInput", 2, 0, 0, 1},
};

}  // namespace

class ExitStatus : public ::testing::TestWithParam<ExitRow> {};

TEST_P(ExitStatus, ZeroOnlyWhenEveryDSYMWasUploaded) {
  const ExitRow& row = GetParam();
  EXPECT_EQ(uploadExitStatus(row.badInputs, row.uploaded, row.total), row.status);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitStatus, ::testing::ValuesIn(kExitRows),
                         [](const auto& row) { return std::string(row.param.name); });

namespace {

struct UsageRow {
  const char* name;
  std::vector<std::string> arguments;
  const char* fault;  // nullptr: no usage error
};

const UsageRow kUsageRows[] = {
    {"ArchiveAlone", {"App.xcarchive"}, nullptr},
    {"NoPath", {"--dry-run"}, "no PATH given"},
    {"UnknownOption", {"--bogus", "App.xcarchive"}, "unknown option --bogus"},
    {"MissingValue", {"App.xcarchive", "--app-id"}, "option --app-id requires a value"},
    {"BadPlatform", {"--platform", "tvos", "x.xcarchive"}, "--platform takes ios or mac"},
    {"NoJobs", {"--jobs", "0", "x.xcarchive"}, "--jobs takes a number from 1"},
    {"DSYMWithoutAppId",
     {"App.xcarchive", "App.app.dSYM"},
     "--app-id is required for App.app.dSYM"},
    {"ZipWithAppId", {"--app-id", "com.example.App", "dSYMs.zip"}, nullptr},
    {"EmptyAppId", {"--app-id", "", "dSYMs.zip"}, "--app-id takes an identifier"},
    {"IdWithDashesInEitherCase",
     {"--id", "4C4C446C-5555-3144-a10c-85d71a15364e", "--require-all", "x.xcarchive"},
     nullptr},
    {"IdThatIsNoUUID", {"--id", "4c4c446c", "x.xcarchive"}, "--id takes a UUID"},
    {"RequireAllWithoutId", {"--require-all", "x.xcarchive"}, "--require-all needs"},
    {"URLThatIsNoURL", {"--url", "ftp://x", "x.xcarchive"}, "--url takes an http"},
    {"TooManyRetries", {"--retries", "11", "x.xcarchive"}, "--retries takes a number"},
};

// The usage error of the arguments, if any.
std::optional<std::string> usageFault(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "upload-dsyms");
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::string fault;
  auto options = parseUploadOptions(static_cast<int>(arguments.size()), argv.data(), &fault);
  if (!options) return fault;
  return missingAppIdError(*options);
}

}  // namespace

class UsageErrors : public ::testing::TestWithParam<UsageRow> {};

TEST_P(UsageErrors, NameWhatIsWrong) {
  const UsageRow& row = GetParam();
  auto fault = usageFault(row.arguments);
  if (!row.fault) {
    EXPECT_FALSE(fault) << *fault;
  } else {
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->rfind(row.fault, 0), 0u) << *fault;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, UsageErrors, ::testing::ValuesIn(kUsageRows),
                         [](const auto& row) { return std::string(row.param.name); });
