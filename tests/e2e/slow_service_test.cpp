// Build-server runs of the built `run` against services written for the
// test that answer, or read the upload, too slowly: every attempt ends within
// its bounds and the build goes on. The cases are waits on the wall clock,
// not work, so they run side by side, each in a folder of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <random>

#include "tests/support/BuildServerRun.h"
#include "tests/support/SlowReaderServer.h"

namespace {

using namespace std::chrono_literals;
using testsupport::SlowReaderOptions;
using testsupport::SlowReaderServer;
using Clock = std::chrono::steady_clock;

const std::string kUploaded = "\n\nBrantle: App.app.dSYM uploaded statusCode ";
const std::string kFailed = "\n\nBrantle: App.app.dSYM could not be uploaded statusCode ";
const std::string kTimedOut = " Error Domain=CURLErrorDomain Code=28 \"Operation timed out: ";

// One build-server run's folder: a copy of the sample app, as every
// build-server test has; here several live side by side in one test.
struct Workspace : testsupport::BuildServerRunTest {
  using BuildServerRunTest::buildSettings;
  using BuildServerRunTest::expectNoZipBesideTheDSYM;
  using BuildServerRunTest::products;
  using BuildServerRunTest::rememberProductsFolder;
  using BuildServerRunTest::runUnderBotsDaemon;
  using BuildServerRunTest::SetUp;
  using BuildServerRunTest::wholeZipSettings;
  void TestBody() override {}
};

// A service that reads bodies at once and answers uploads with ANSWER.
SlowReaderOptions answeringUploads(std::string atOnce, std::string slowly, std::size_t step,
                                   std::chrono::milliseconds pace, std::uint64_t repeat = 1) {
  SlowReaderOptions options;
  options.bytesPerTick = 1 << 30;
  options.slowAnswer = {"code_mappings", atOnce, slowly, step, pace, repeat};
  return options;
}

SlowReaderOptions readingAt500BytesASecond() {
  SlowReaderOptions options;
  options.bytesPerTick = 500;
  options.receiveBuffer = 4096;
  return options;
}

std::string times(int count, const std::string& text) {
  std::string all;
  while (count-- > 0) all += text;
  return all;
}

struct Case {
  const char* service;
  SlowReaderOptions options;
  int status;            // of the run
  std::string line;      // printed once
  std::size_t requests;  // the notification and the upload attempts
  double within;         // seconds
};

std::vector<Case> cases() {
  const std::string trickled(1000, 'b');
  const std::string big = std::to_string(300 << 20);
  const std::string notComplete = kTimedOut + "the answer was not complete 30 seconds after";
  return {
      {"201 with its body one byte every 5 s",
       answeringUploads("HTTP/1.1 201 Created\r\nContent-Length: 1000\r\n\r\n", trickled, 1, 5s), 0,
       kUploaded + "201\n", 2, 45},
      {"500 with its body one byte every 5 s",
       answeringUploads("HTTP/1.1 500 Oops\r\nContent-Length: 1000\r\n\r\n", trickled, 1, 5s), 1,
       kFailed + "500" + notComplete, 3, 80},
      {"102 Processing every 2 s",
       answeringUploads("", times(100, "HTTP/1.1 102 Processing\r\n\r\n"), 28, 2s), 1,
       kFailed + "0" + notComplete, 3, 80},
      {"a head one byte a second",
       answeringUploads("", "HTTP/1.1 201 Created\r\nX-Padding: " + std::string(200, 'p'), 1, 1s),
       1, kFailed + "0" + notComplete, 3, 80},
      {"reading the upload at 500 bytes a second", readingAt500BytesASecond(), 1,
       kFailed + "0" + kTimedOut + "the peer acknowledged less than 16384 bytes", 3, 100},
      {"201 with a 300 MB body at full speed",
       answeringUploads("HTTP/1.1 201 Created\r\nContent-Length: " + big + "\r\n\r\n",
                        std::string(1 << 16, 'b'), 1 << 16, 0ms, 300 << 4),
       0, kUploaded + "201\n", 2, 30},
  };
}

// Adds 256 KB that do not compress to the dSYM, so that the upload is
// larger than any socket buffer of a slow reader.
void growDSYM(const std::string& products) {
  std::string noise(256 * 1024, '\0');
  std::mt19937 random(11);
  for (char& c : noise) c = static_cast<char>(random());
  std::string dwarf = products + "/App.app.dSYM/Contents/Resources/DWARF/App";
  testsupport::writeFile(dwarf, testsupport::readFile(dwarf) + noise);
}

class SlowServiceTest : public testsupport::SampleAppTest {};

TEST_F(SlowServiceTest, EveryAttemptEndsWithinItsBoundsAndTheRunGoesOn) {
  std::vector<Case> all = cases();
  std::vector<std::unique_ptr<Workspace>> spaces;
  std::vector<std::unique_ptr<SlowReaderServer>> services;
  std::vector<std::future<std::pair<testsupport::ProcessResult, double>>> runs;
  for (const Case& c : all) {
    Workspace& space = *spaces.emplace_back(std::make_unique<Workspace>());
    space.SetUp();
    growDSYM(space.products);
    space.rememberProductsFolder();
    auto& service = *services.emplace_back(std::make_unique<SlowReaderServer>(c.options));
    runs.push_back(std::async(std::launch::async, [&space, &service] {
      auto start = Clock::now();
      auto result = space.runUnderBotsDaemon(space.wholeZipSettings(service.baseURL()),
                                             {testsupport::kBuildServerSecret},
                                             {"/usr/bin/timeout", "--signal=KILL", "150"});
      return std::make_pair(result, std::chrono::duration<double>(Clock::now() - start).count());
    }));
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i].service);
    auto [result, seconds] = runs[i].get();
    EXPECT_EQ(result.status, all[i].status) << result.err;
    EXPECT_EQ(testsupport::countOf(result.err, all[i].line), 1u) << result.err;
    EXPECT_LE(seconds, all[i].within);
    EXPECT_EQ(services[i]->connections().size(), all[i].requests);
    spaces[i]->expectNoZipBesideTheDSYM();
  }
}

}  // namespace
