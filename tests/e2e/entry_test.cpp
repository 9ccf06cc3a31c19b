#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using testsupport::countOf;
using testsupport::runProcess;

namespace {

const std::string kKeyNotSet = "Brantle API key not set.";
const std::string kKeyNotValid = "Brantle API key not valid.";

}  // namespace

class EntryTest : public ::testing::Test {
 protected:
  testsupport::ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), testsupport::runExecutable());
    return runProcess(arguments, {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / "config"}},
                      home.path());
  }
  testsupport::TempDir home;
};

TEST_F(EntryTest, NoArgumentPrintsVersionThenKeyNotSet) {
  auto result = run({});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  size_t version = result.err.find("] Brantle.framework/run 1.3.17\n");
  ASSERT_NE(version, std::string::npos) << result.err;
  // The version line is a plain record: no framing.
  EXPECT_EQ(countOf(result.err, "Brantle: "), 1u);
  std::string framed = "\n\nBrantle: Configuration Issue\n\n" + kKeyNotSet +
                       " Your Brantle run script build phase should contain your API key:\n"
                       "./Brantle.framework/run YOUR_API_KEY YOUR_BUILD_SECRET\n\n\n";
  size_t record = result.err.find(framed);
  ASSERT_NE(record, std::string::npos) << result.err;
  EXPECT_GT(record, version);
  EXPECT_EQ(record + framed.size(), result.err.size());  // the stop is the last record
}

TEST_F(EntryTest, KeyOf39Or41CharactersIsNotValid) {
  for (size_t length : {39u, 41u, 0u}) {
    auto result = run({std::string(length, 'k')});
    EXPECT_EQ(result.status, 1) << length;
    EXPECT_EQ(countOf(result.err, "Brantle: Configuration Issue\n\n" + kKeyNotValid), 1u) << length;
  }
}

TEST_F(EntryTest, KeyLengthCountsCharactersNotBytes) {
  std::string accents;
  for (int i = 0; i < 40; ++i) accents += "\xC3\xA9";  // 80 bytes, 40 characters
  auto result = run({accents});
  EXPECT_EQ(countOf(result.err, kKeyNotValid), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, kKeyNotSet), 0u);
  // 40 bytes of é cut in the middle: 20 characters.
  auto half = run({accents.substr(0, 40)});
  EXPECT_EQ(countOf(half.err, kKeyNotValid), 1u);
}

TEST_F(EntryTest, KeyThatIsNotUTF8CountsAsEmpty) {
  std::string key(39, 'k');
  key += '\xFF';  // 40 bytes, not UTF-8
  auto result = run({key});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOf(result.err, kKeyNotValid), 1u);
}

TEST_F(EntryTest, AnyFortyCharactersPassTheKeyCheck) {
  auto result = run({"not hex at all but forty characters long"});
  EXPECT_EQ(countOf(result.err, kKeyNotValid), 0u) << result.err;
  EXPECT_EQ(countOf(result.err, "Configuration Issue"), 0u);
}
