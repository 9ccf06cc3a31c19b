#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "tests/support/TestSupport.h"

// Records of 10,000 bytes are larger than a pipe writes atomically, so only
// the log call's own discipline keeps them whole.
TEST(Log, RecordsStayWholeWhenThreadsLogAtOnce) {
  const int threads = 8, records = 100;
  const size_t length = 10000;
  auto result = testsupport::runProcess(
      {testsupport::testProgramsDir() + "/log_threads", std::to_string(threads),
       std::to_string(records), std::to_string(length)},
      {});
  ASSERT_EQ(result.status, 0);
  // Each framed record is: prefix, "\n", "\n", "Brantle: T<t> R<r> <body>", "\n".
  std::regex prefix(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} run\[\d+:\d+\] $)");
  std::istringstream lines(result.err);
  std::string line;
  std::set<std::pair<int, int>> seen;
  int state = 0;
  while (std::getline(lines, line)) {
    if (state == 0) {
      ASSERT_TRUE(std::regex_match(line, prefix)) << line.substr(0, 80);
      state = 1;
    } else if (state == 1) {
      ASSERT_EQ(line, "");
      state = 2;
    } else {
      int t = -1, r = -1;
      ASSERT_EQ(sscanf(line.c_str(), "Brantle: T%d R%d ", &t, &r), 2) << line.substr(0, 80);
      std::string body = line.substr(line.find(' ', line.find('R')) + 1);
      ASSERT_EQ(body, std::string(length, static_cast<char>('a' + t))) << "record torn";
      seen.insert({t, r});
      state = 0;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(threads * records));
}
