#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "shared/Categories/NSTask+Convenience.h"
#include "tests/support/TestSupport.h"

using testsupport::TempDir;

namespace {

using Arguments = std::vector<std::string>;

// The child's standard output, expected to have started.
std::string stdoutOf(const std::string& path, const std::optional<Arguments>& arguments) {
  auto result = NSTask_Convenience::stdoutWithLaunchPath_arguments(path, arguments);
  EXPECT_TRUE(result.launched());
  return result.value.value_or("<not UTF-8>");
}

std::string currentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

}  // namespace

TEST(NSTaskConvenience, StatusZeroRunsTrue) {
  auto result = NSTask_Convenience::runTaskWithLaunchPath_arguments("/bin/true", std::nullopt);
  ASSERT_TRUE(result.launched());
  EXPECT_TRUE(result.value);
}

TEST(NSTaskConvenience, StatusOneRunsFalseAndIsNoLaunchError) {
  auto result = NSTask_Convenience::runTaskWithLaunchPath_arguments("/bin/false", std::nullopt);
  ASSERT_TRUE(result.launched());
  EXPECT_FALSE(result.value);
}

TEST(NSTaskConvenience, CompletionGetsStandardErrorFirstThenOutputThenStatus) {
  platform::Bytes errorSeen, outputSeen;
  int calls = 0;
  std::int32_t statusSeen = -1;
  auto launchError =
      NSTask_Convenience::launchWithPath_workingDirectory_arguments_environment_completion(
          "/bin/sh", std::nullopt, Arguments{"-c", "printf out; printf err >&2; exit 3"},
          std::nullopt,
          [&](const platform::Bytes& errorData, const platform::Bytes& outputData,
              std::int32_t status) {
            ++calls;
            errorSeen = errorData;
            outputSeen = outputData;
            statusSeen = status;
          });
  EXPECT_FALSE(launchError);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(std::string(errorSeen.begin(), errorSeen.end()), "err");
  EXPECT_EQ(std::string(outputSeen.begin(), outputSeen.end()), "out");
  EXPECT_EQ(statusSeen, 3);
}

TEST(NSTaskConvenience, StdoutAndStderrConveniencesKeepTheirOwnStream) {
  Arguments both{"-c", "printf 'to out'; printf 'to err' >&2"};
  EXPECT_EQ(stdoutOf("/bin/sh", both), "to out");
  auto error = NSTask_Convenience::stderrWithLaunchPath_arguments("/bin/sh", both);
  ASSERT_TRUE(error.launched());
  EXPECT_EQ(error.value, "to err");
}

TEST(NSTaskConvenience, TextConveniencesIgnoreTheStatus) {
  EXPECT_EQ(stdoutOf("/bin/sh", Arguments{"-c", "printf kept; exit 7"}), "kept");
}

TEST(NSTaskConvenience, SilentChildGivesEmptyTextNotNone) {
  auto output = NSTask_Convenience::stdoutWithLaunchPath_arguments("/bin/true", std::nullopt);
  auto error = NSTask_Convenience::stderrWithLaunchPath_arguments("/bin/true", std::nullopt);
  EXPECT_EQ(output.value, std::optional<std::string>(""));
  EXPECT_EQ(error.value, std::optional<std::string>(""));
}

TEST(NSTaskConvenience, OutputThatIsNotUTF8GivesNone) {
  auto output = NSTask_Convenience::stdoutWithLaunchPath_arguments(
      "/bin/sh", Arguments{"-c", "printf '\\377\\376'"});
  ASSERT_TRUE(output.launched());
  EXPECT_FALSE(output.value.has_value());
}

TEST(NSTaskConvenience, NoArgumentsRunsTheProgramWithoutAny) {
  EXPECT_EQ(stdoutOf("/bin/echo", std::nullopt), "\n");
  EXPECT_EQ(stdoutOf("/bin/echo", Arguments{"a b", "$HOME"}), "a b $HOME\n");
}

TEST(NSTaskConvenience, WorkingDirectoryIsTheGivenOneOrOurs) {
  TempDir dir;
  std::string printed;
  NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
      "/bin/pwd", dir.path(), std::nullopt,
      [&](const platform::Bytes&, const platform::Bytes& out, std::int32_t) {
        printed.assign(out.begin(), out.end());
      });
  EXPECT_EQ(printed, dir.path() + "\n");
  EXPECT_EQ(stdoutOf("/bin/pwd", std::nullopt), currentDirectory() + "\n");
}

TEST(NSTaskConvenience, RunTaskInDirectorySeesItsFiles) {
  TempDir dir;
  testsupport::writeFile(dir / "present", "x");
  auto found = NSTask_Convenience::runTaskWithLaunchPath_currentDirectoryPath_arguments(
      "/bin/test", dir.path(), Arguments{"-f", "present"});
  EXPECT_TRUE(found.launched() && found.value);
}

TEST(NSTaskConvenience, GivenEnvironmentIsTheChildsWholeEnvironment) {
  std::string printed;
  NSTask_Convenience::launchWithPath_workingDirectory_arguments_environment_completion(
      "/usr/bin/env", std::nullopt, std::nullopt,
      platform::Environment{{"ONLY", "this"}, {"EMPTY", ""}},
      [&](const platform::Bytes&, const platform::Bytes& out, std::int32_t) {
        printed.assign(out.begin(), out.end());
      });
  EXPECT_EQ(printed, "EMPTY=\nONLY=this\n");
}

TEST(NSTaskConvenience, WithoutEnvironmentTheChildInheritsOurs) {
  setenv("NSTASK_TEST_INHERITED", "yes", 1);
  std::string printed =
      stdoutOf("/bin/sh", Arguments{"-c", "printf %s \"$NSTASK_TEST_INHERITED\""});
  unsetenv("NSTASK_TEST_INHERITED");
  EXPECT_EQ(printed, "yes");
}

TEST(NSTaskConvenience, MissingProgramIsALaunchErrorWithoutCompletion) {
  int calls = 0;
  auto launchError = NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
      "/nonexistent/program", std::nullopt, std::nullopt,
      [&](const platform::Bytes&, const platform::Bytes&, std::int32_t) { ++calls; });
  ASSERT_TRUE(launchError);
  EXPECT_EQ(launchError->domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(launchError->code, ENOENT);
  EXPECT_EQ(calls, 0);
  auto run = NSTask_Convenience::runTaskWithLaunchPath_arguments("/nonexistent/program", {});
  EXPECT_FALSE(run.launched());
}

TEST(NSTaskConvenience, ProgramThatIsNotExecutableIsALaunchError) {
  TempDir dir;
  testsupport::writeFile(dir / "script", "#!/bin/sh\nexit 0\n");
  chmod((dir / "script").c_str(), 0644);
  auto result = NSTask_Convenience::stdoutWithLaunchPath_arguments(dir / "script", std::nullopt);
  ASSERT_FALSE(result.launched());
  EXPECT_EQ(result.launchError->code, EACCES);
}

TEST(NSTaskConvenience, MissingWorkingDirectoryIsALaunchError) {
  TempDir dir;
  auto result = NSTask_Convenience::runTaskWithLaunchPath_currentDirectoryPath_arguments(
      "/bin/true", dir / "absent", std::nullopt);
  ASSERT_FALSE(result.launched());
  EXPECT_EQ(result.launchError->code, ENOENT);
}

TEST(NSTaskConvenience, ProgramIsNotSearchedOnPath) {
  auto result = NSTask_Convenience::runTaskWithLaunchPath_arguments("true", std::nullopt);
  EXPECT_FALSE(result.launched());
}

// More than a pipe holds goes to both streams, each order: a runner that read
// one stream to its end before the other would wait forever.
TEST(NSTaskConvenience, ChildWritingMegabytesToBothStreamsFinishes) {
  struct Case {
    const char* script;
    size_t out;
    size_t err;
  };
  const Case cases[] = {
      {"head -c 6000000 /dev/zero; head -c 5000000 /dev/zero >&2", 6000000, 5000000},
      {"head -c 5000000 /dev/zero >&2; head -c 6000000 /dev/zero", 6000000, 5000000},
      {"for i in 1 2 3 4 5 6; do head -c 1000000 /dev/zero; head -c 700000 /dev/zero >&2; done",
       6000000, 4200000},
  };
  for (const Case& c : cases) {
    size_t outSize = 0, errSize = 0;
    auto launchError = NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
        "/bin/sh", std::nullopt, Arguments{"-c", c.script},
        [&](const platform::Bytes& err, const platform::Bytes& out, std::int32_t status) {
          EXPECT_EQ(status, 0);
          outSize = out.size();
          errSize = err.size();
        });
    EXPECT_FALSE(launchError);
    EXPECT_EQ(outSize, c.out) << c.script;
    EXPECT_EQ(errSize, c.err) << c.script;
  }
}

TEST(NSTaskConvenience, ChildReadingItsInputSeesEndOfFile) {
  auto result = NSTask_Convenience::stdoutWithLaunchPath_arguments("/bin/cat", std::nullopt);
  ASSERT_TRUE(result.launched());
  EXPECT_EQ(result.value, std::optional<std::string>(""));
}

TEST(NSTaskConvenience, ChildEndedBySignalReportsTheSignalAndRunsFalse) {
  std::int32_t statusSeen = 0;
  NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
      "/bin/sh", std::nullopt, Arguments{"-c", "kill -TERM $$"},
      [&](const platform::Bytes&, const platform::Bytes&, std::int32_t status) {
        statusSeen = status;
      });
  EXPECT_EQ(statusSeen, SIGTERM);
  auto run = NSTask_Convenience::runTaskWithLaunchPath_arguments("/bin/sh",
                                                                 Arguments{"-c", "kill -KILL $$"});
  EXPECT_TRUE(run.launched());
  EXPECT_FALSE(run.value);
}

TEST(NSTaskConvenience, ChildGetsDefaultSIGPIPEEvenWhenWeIgnoreIt) {
  auto previous = signal(SIGPIPE, SIG_IGN);
  std::string printed = stdoutOf("/bin/sh", Arguments{"-c", "grep SigIgn /proc/self/status"});
  signal(SIGPIPE, previous);
  unsigned long long ignoredMask = std::stoull(printed.substr(printed.find(':') + 1), nullptr, 16);
  EXPECT_EQ(ignoredMask & (1ull << (SIGPIPE - 1)), 0u);
}

TEST(NSTaskConvenience, SeparateThreadsEachRunTheirOwnChild) {
  std::vector<std::string> outputs(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < outputs.size(); ++i) {
    threads.emplace_back([&, i] {
      auto result = NSTask_Convenience::stdoutWithLaunchPath_arguments(
          "/bin/sh",
          Arguments{"-c", "head -c 300000 /dev/zero | tr '\\0' x; printf " + std::to_string(i)});
      outputs[i] = result.value.value_or("");
    });
  }
  for (auto& thread : threads) thread.join();
  for (size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(outputs[i].size(), 300001u);
    EXPECT_EQ(outputs[i].back(), static_cast<char>('0' + i));
  }
}

TEST(NSTaskConvenience, NoDescriptorsForThePipesStopsWithTheAssertionReport) {
  auto result =
      testsupport::runProcess({testsupport::testProgramsDir() + "/nstask_without_descriptors"}, {});
  EXPECT_EQ(result.status, 128 + SIGABRT);
  EXPECT_NE(result.err.find("*** Assertion failure in +[NSTask(Convenience) "
                            "launchWithPath:workingDirectory:arguments:environment:completion:], "
                            "shared/Categories/NSTask+Convenience:29: Invalid parameter not "
                            "satisfying: stdoutPipe && stdinPipe && stderrPipe"),
            std::string::npos)
      << result.err;
}
