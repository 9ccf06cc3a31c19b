#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/processes/ProcessRecords.h"
#include "tests/support/TestSupport.h"

namespace {

// A /proc/PID/stat text with the given name, parent and start time; the
// other fields hold plausible numbers.
std::string statText(int pid, const std::string& name, int parent, unsigned long long start) {
  return std::to_string(pid) + " (" + name + ") S " + std::to_string(parent) +
         " 100 100 0 -1 4194560 500 0 0 0 10 5 0 0 20 0 1 0 " + std::to_string(start) +
         " 12345678 300 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0\n";
}

// A child that renames itself and then waits to be killed; the pipe tells
// the parent the new name is in place.
pid_t startRenamedChild(const std::string& name) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    for (;;) pause();
  }
  close(ready[1]);
  char byte = 0;
  if (read(ready[0], &byte, 1) != 1) child = -1;
  close(ready[0]);
  return child;
}

void stopChild(pid_t child) {
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace

TEST(ProcessRecordParseTest, ReadsPidNameParentAndStartTime) {
  auto record = platform::parseProcessRecord(statText(4242, "run", 4100, 987654));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->pid, 4242);
  EXPECT_EQ(record->commandName, "run");
  EXPECT_EQ(record->parentPid, 4100);
  EXPECT_EQ(record->startTime, 987654u);
}

TEST(ProcessRecordParseTest, NameEndsAtTheLastClosingParenthesis) {
  auto record = platform::parseProcessRecord(statText(7, "a) 1 2 (b c)", 3, 5));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->commandName, "a) 1 2 (b c)");
  EXPECT_EQ(record->parentPid, 3);
  EXPECT_EQ(record->startTime, 5u);
}

TEST(ProcessRecordParseTest, EmptyAndOddBytesInTheNameAreKept) {
  auto empty = platform::parseProcessRecord(statText(8, "", 1, 1));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->commandName, "");
  auto odd = platform::parseProcessRecord(statText(9, "\xff\xfe x", 1, 1));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->commandName, "\xff\xfe x");
}

TEST(ProcessRecordParseTest, MalformedRecordsGiveNothing) {
  EXPECT_FALSE(platform::parseProcessRecord(""));
  EXPECT_FALSE(platform::parseProcessRecord("12 (run"));
  EXPECT_FALSE(platform::parseProcessRecord("x12 (run) S 1 1 1"));
  EXPECT_FALSE(platform::parseProcessRecord("12 (run) S 1 100 100"));  // cut short
  std::string text = statText(12, "run", 1, 1);
  EXPECT_FALSE(platform::parseProcessRecord(text.replace(text.find(" S 1 "), 5, " S x ")));
}

TEST(ProcessRecordTest, OwnRecordMatchesTheSystem) {
  auto record = platform::processRecord(platform::currentProcessId());
  ASSERT_TRUE(record);
  EXPECT_EQ(record->pid, getpid());
  EXPECT_EQ(record->parentPid, getppid());
  std::string comm = testsupport::readFile("/proc/self/comm");
  EXPECT_EQ(record->commandName + "\n", comm);
}

TEST(ProcessRecordTest, RenamedProcessWithParenthesesAndSpaces) {
  pid_t child = startRenamedChild("x) (Xcode) y");
  ASSERT_GT(child, 0);
  auto record = platform::processRecord(child);
  stopChild(child);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->commandName, "x) (Xcode) y");
  EXPECT_EQ(record->parentPid, getpid());
}

TEST(ProcessRecordTest, NamesAreTruncatedToFifteenBytes) {
  pid_t child = startRenamedChild("abcdefghijklmnopqrstuvwxyz");
  ASSERT_GT(child, 0);
  auto record = platform::processRecord(child);
  stopChild(child);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->commandName, "abcdefghijklmno");
}

TEST(ProcessRecordTest, VanishedProcessHasNoRecord) {
  pid_t child = startRenamedChild("gone");
  ASSERT_GT(child, 0);
  stopChild(child);
  EXPECT_FALSE(platform::processRecord(child));
  EXPECT_FALSE(platform::processRecord(-1));
  EXPECT_FALSE(platform::processRecord(0));
}
