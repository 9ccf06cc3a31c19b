// Build-server runs through Debian's nginx as a TLS reverse proxy in front
// of the service stand-in, as users have it, over HTTP/1.1 and HTTP/2 (whose
// header names arrive in lower case): a large upload goes through, and a
// body over the proxy's limit fails at once with its 413.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "tests/support/BuildServerRun.h"
#include "tests/support/NginxProxy.h"
#include "tests/support/ServiceProcess.h"

namespace {

using testsupport::countOf;
using testsupport::NginxProxy;

const std::size_t kLargeUpload = 300'000'000;

class NginxProxyTest : public testsupport::BuildServerRunTest,
                       public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (!NginxProxy::available())
      GTEST_SKIP() << "nginx is not installed (scripts/install-deps.sh installs it)";
    BuildServerRunTest::SetUp();
  }

  // Grows the dSYM's DWARF file by BYTES that do not compress.
  void growDSYMBy(std::size_t bytes) {
    std::string noise(bytes, '\0');
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
      std::uint64_t word = random();
      std::memcpy(&noise[i], &word, 8);
    }
    std::string dwarf = products + "/App.app.dSYM/Contents/Resources/DWARF/App";
    testsupport::writeFile(dwarf, testsupport::readFile(dwarf) + noise);
    rememberProductsFolder();
  }

  // Runs `run` through the proxy, which trusts its CA, within two minutes.
  testsupport::ProcessResult runThrough(const NginxProxy& proxy) const {
    testsupport::Settings settings = buildSettings(proxy.baseURL());
    settings["SSL_CERT_FILE"] = proxy.certificateAuthority();
    return runUnderBotsDaemon(settings, {testsupport::kBuildServerSecret},
                              {"/usr/bin/timeout", "--signal=KILL", "120"});
  }

  const char* protocol() const { return GetParam() ? "HTTP/2.0\"" : "HTTP/1.1\""; }
};

TEST_P(NginxProxyTest, LargeUploadGoesThrough) {
  growDSYMBy(kLargeUpload);
  testsupport::ServiceProcess service;
  NginxProxy proxy(service.port(), {GetParam()});
  ASSERT_EQ(proxy.failure(), "");
  auto result = runThrough(proxy);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, "App.app.dSYM uploaded statusCode 201\n"), 1u) << result.err;
  auto records = service.records();
  ASSERT_EQ(records.size(), 2u);
  for (const auto& record : records)
    EXPECT_EQ(record["problems"].size(), 0u) << record["problems"].dump(1);
  EXPECT_GT(records[1]["zip"]["size"].get<std::uint64_t>(), kLargeUpload);
  EXPECT_EQ(countOf(proxy.accessLog(), protocol()), 2u) << proxy.accessLog();
  expectNoZipBesideTheDSYM();
}

TEST_P(NginxProxyTest, UploadOverTheProxysLimitFailsWith413) {
  growDSYMBy(256 * 1024);
  testsupport::ServiceProcess service;
  NginxProxy proxy(service.port(), {GetParam(), "64k"});
  ASSERT_EQ(proxy.failure(), "");
  auto result = runThrough(proxy);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "App.app.dSYM could not be uploaded statusCode 413"), 1u)
      << result.err;
  EXPECT_EQ(service.records("upload").size(), 0u);
  // nginx logs a refused request when it has done with its connection,
  // which may be a moment after the run has ended.
  const std::string refused = std::string(protocol()) + " 413 ";
  for (int tries = 0; tries < 50 && countOf(proxy.accessLog(), refused) < 2; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(countOf(proxy.accessLog(), refused), 2u) << proxy.accessLog();
  expectNoZipBesideTheDSYM();
}

INSTANTIATE_TEST_SUITE_P(Protocols, NginxProxyTest, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "HTTP2" : "HTTP1"; });

}  // namespace
