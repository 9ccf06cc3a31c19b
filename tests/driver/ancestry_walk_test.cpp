#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "driver/HostDetection.h"
#include "platform/processes/ProcessRecords.h"
#include "tests/support/TestSupport.h"

namespace {

using Names = std::vector<std::string>;

// A process table the walk reads instead of the system's, for shapes the
// system cannot be made to show on demand (cycles, reused ids, lies).
class ProcessTable {
 public:
  ProcessTable& add(int pid, const std::string& name, int parent, std::uint64_t start = 0) {
    records_[pid] = platform::ProcessRecord{pid, parent, name, start};
    return *this;
  }
  // Answers for `asked` with the record of `answered`.
  ProcessTable& answerWith(int asked, int answered) {
    aliases_[asked] = answered;
    return *this;
  }
  ProcessRecordQuery query() {
    return [this](int pid) -> std::optional<platform::ProcessRecord> {
      ++queries_;
      auto alias = aliases_.find(pid);
      auto it = records_.find(alias == aliases_.end() ? pid : alias->second);
      if (it == records_.end()) return std::nullopt;
      return it->second;
    };
  }
  int queries() const { return queries_; }

 private:
  std::map<int, platform::ProcessRecord> records_;
  std::map<int, int> aliases_;
  int queries_ = 0;
};

}  // namespace

TEST(AncestryWalkTest, FromTheToolUpToTheLaunchDaemon) {
  ProcessTable table;
  table.add(300, "run", 200).add(200, "bash", 100).add(100, "Xcode", 1).add(1, "launchd", 0);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run", "bash", "Xcode", "launchd"}));
}

TEST(AncestryWalkTest, EndsAtTheFirstPidBelowTwo) {
  ProcessTable table;
  table.add(50, "run", 0).add(0, "kernel_task", 0);
  EXPECT_EQ(ancestryCommandNames(50, table.query()), (Names{"run", "kernel_task"}));
  EXPECT_EQ(table.queries(), 2);
}

TEST(AncestryWalkTest, UnreadableParentEndsTheWalkWithTheNamesSoFar) {
  ProcessTable table;
  table.add(300, "run", 200).add(200, "bash", 100);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run", "bash"}));
  EXPECT_EQ(table.queries(), 3);
}

TEST(AncestryWalkTest, CycleEndsAndNamesEachProcessOnce) {
  ProcessTable table;
  table.add(300, "run", 200).add(200, "a", 100).add(100, "b", 200);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run", "a", "b"}));
  EXPECT_EQ(table.queries(), 3);
}

TEST(AncestryWalkTest, ProcessThatIsItsOwnParentEnds) {
  ProcessTable table;
  table.add(300, "run", 300);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run"}));
  EXPECT_EQ(table.queries(), 1);
}

TEST(AncestryWalkTest, RecordOfAnotherProcessIsNotAppended) {
  // The query for 200 answers with the record it returned before: stale.
  ProcessTable table;
  table.add(300, "run", 200).answerWith(200, 300);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run"}));
  EXPECT_EQ(table.queries(), 2);
}

TEST(AncestryWalkTest, ParentIdReusedByANewerProcessIsNotAppended) {
  // The real parent exited and its id now names a process started later.
  ProcessTable table;
  table.add(300, "run", 200, 5000).add(200, "Xcode", 1, 6000).add(1, "init", 0, 1);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run"}));
}

TEST(AncestryWalkTest, ParentStartedAtTheSameTickIsKept) {
  ProcessTable table;
  table.add(300, "run", 200, 5000).add(200, "Xcode", 1, 5000).add(1, "init", 0, 1);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run", "Xcode", "init"}));
}

TEST(AncestryWalkTest, NameThatIsNotUTF8IsSkippedAndTheWalkGoesOn) {
  ProcessTable table;
  table.add(300, "run", 200).add(200, "\xff\xfe", 100).add(100, "Xcode", 1).add(1, "init", 0);
  EXPECT_EQ(ancestryCommandNames(300, table.query()), (Names{"run", "Xcode", "init"}));
}

TEST(AncestryWalkTest, TheSystemsOwnTableStartsWithThisProcess) {
  auto names = ancestryCommandNames(platform::currentProcessId(), platform::processRecord);
  ASSERT_FALSE(names.empty());
  std::string comm = testsupport::readFile("/proc/self/comm");
  EXPECT_EQ(names.front() + "\n", comm);
  auto parent = platform::processRecord(getppid());
  ASSERT_TRUE(parent);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[1], parent->commandName);
}

TEST(ProcessNameInHierarchyTest, WholeCaseSensitiveNamesOnly) {
  std::string own = testsupport::readFile("/proc/self/comm");
  own.pop_back();
  EXPECT_TRUE(isProcessNameInHierarchy(own));
  EXPECT_FALSE(isProcessNameInHierarchy(own.substr(0, own.size() - 1)));
  EXPECT_FALSE(isProcessNameInHierarchy(own + "x"));
  EXPECT_FALSE(isProcessNameInHierarchy(""));
}
