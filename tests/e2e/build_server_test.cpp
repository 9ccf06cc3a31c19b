// Build-server mode end to end: the built `run` below a parent named
// "xcsbuildd" (the Bots build daemon), on a sample app with real Mach-O
// files, talking to the web service stand-in on 127.0.0.1.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>

#include "tests/support/BuildServerRun.h"
#include "tests/support/DesktopApp.h"
#include "tests/support/MachOFixtures.h"
#include "tests/support/SampleApp.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/SlowReaderServer.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::countOf;
using testsupport::ProcessResult;
using testsupport::ServiceProcess;
using testsupport::Settings;
using testsupport::SlowReaderOptions;
using testsupport::SlowReaderServer;
using Clock = std::chrono::steady_clock;
using testsupport::TempDir;

namespace {

const std::string& kKey = testsupport::kBuildServerKey;
const std::string& kSecret = testsupport::kBuildServerSecret;
const std::string kUploadedPrefix = "\n\nBrantle: App.app.dSYM uploaded statusCode ";
const std::string kFailedPrefix = "\n\nBrantle: App.app.dSYM could not be uploaded statusCode ";
using testsupport::fieldsOf;

// A port on 127.0.0.1 where nothing listens (bound, then released).
int closedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

}  // namespace

class BuildServerTest : public testsupport::BuildServerRunTest {
 protected:
  // Grows the dSYM's DWARF file by BYTES that do not compress, so that the
  // upload is about that large.
  void growDSYMBy(std::size_t bytes) const {
    std::string noise(bytes, '\0');
    std::mt19937_64 random(42);
    for (char& c : noise) c = static_cast<char>(random());
    std::string dwarf = products + "/App.app.dSYM/Contents/Resources/DWARF/App";
    testsupport::writeFile(dwarf, testsupport::readFile(dwarf) + noise);
  }
};

TEST_F(BuildServerTest, NotificationAndUploadCarryExactlyTheIdentityHeaders) {
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  auto notifications = service.records("notification");
  auto uploads = service.records("upload");
  ASSERT_EQ(notifications.size(), 1u);
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(notifications[0]["problems"].size(), 0u) << notifications[0]["problems"].dump(1);
  EXPECT_EQ(uploads[0]["problems"].size(), 0u) << uploads[0]["problems"].dump(1);

  platform::Value identity = {
      {"User-Agent", "run/1.3.17"},
      {"X-Quorvex-API-Client-Build-Version", "149"},
      {"X-Quorvex-API-Client-Display-Version", "1.3.17"},
      {"X-Quorvex-API-Client-Id", "com.quorvex.run"},
      {"X-Quorvex-API-Key", kKey},
      {"X-Quorvex-Developer-Token", "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed"}};
  for (const auto& record : {notifications[0], uploads[0]}) {
    platform::Value sent = platform::Value::object();
    for (const auto& [name, value] : record["headers"].items()) {
      if (name.rfind("X-Quorvex-", 0) == 0 || name == "User-Agent") sent[name] = value;
    }
    platform::Value expected = identity;
    if (record["kind"] == "notification") expected["X-Quorvex-Build-Secret"] = kSecret;
    EXPECT_EQ(nlohmann::json::parse(sent.dump()), nlohmann::json::parse(expected.dump()))
        << record["kind"];
    EXPECT_EQ(record["headers"]["Content-Type"], "multipart/form-data; boundary=AaB03x");
  }
}

TEST_F(BuildServerTest, SecretThatIsNot64BytesLongIsNeverSent) {
  ServiceProcess service;
  for (const std::string& secret : {kSecret.substr(0, 63), kSecret + "x"}) {
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {secret});
    ASSERT_EQ(result.status, 0) << result.err;
  }
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {});
  ASSERT_EQ(result.status, 0) << result.err;
  for (const auto& record : service.records()) {
    EXPECT_FALSE(record["headers"].contains("X-Quorvex-Build-Secret")) << record.dump(1);
    EXPECT_EQ(record["problems"].size(), 0u) << record["problems"].dump(1);
  }
  EXPECT_EQ(service.records("notification").size(), 3u);
}

TEST_F(BuildServerTest, FormsCarryTheFieldsInOrderWithOnePairPerSlice) {
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  auto notification = service.records("notification").at(0);
  EXPECT_EQ(notification["path"], "/spi/v1/platforms/ios/apps/com.example.App/built");
  EXPECT_EQ(fieldsOf(notification), (std::vector<std::pair<std::string, std::string>>{
                                        {"app_name", "App"}, {"tool_details", "build server"}}));

  auto upload = service.records("upload").at(0);
  EXPECT_EQ(upload["path"], "/api/v3/platforms/ios/code_mappings");
  std::vector<std::pair<std::string, std::string>> expected = {
      {"project[identifier]", "com.example.App"},
      {"project[display_version]", "42"},  // CFBundleVersion
      {"project[build_version]", "1.0"},   // CFBundleShortVersionString
      {"code_mapping[build_configuration]", "Release"},
      {"code_mapping[type]", "dsym"},
      {"com_quorvex_run_version", "149"}};
  auto slices = testsupport::dwarfdumpUUIDs(products + "/App.app/App");
  ASSERT_EQ(slices.size(), 2u);
  for (const auto& slice : slices) {
    expected.emplace_back("code_mapping[executables][][identifier]", slice.uuid);
    expected.emplace_back("code_mapping[executables][][arch]", slice.architecture);
  }
  auto fields = fieldsOf(upload);
  ASSERT_EQ(fields.size(), expected.size() + 1);
  EXPECT_EQ(std::vector(fields.begin(), fields.end() - 1), expected);
  EXPECT_EQ(fields.back().first, "code_mapping[file]");
  EXPECT_TRUE(std::regex_match(fields.back().second, std::regex("[0-9A-F-]{36}\\.zip")))
      << fields.back().second;
  EXPECT_EQ(upload["fields"].back()["contentType"], "application/zip");
}

TEST_F(BuildServerTest, AppWithoutDisplayNameNotifiesWithToolDetailsOnly) {
  ServiceProcess service;
  std::string plist = testsupport::readFile(products + "/App.app/Info.plist");
  plist = std::regex_replace(
      plist, std::regex("\t<key>CFBundleDisplayName</key>\n\t<string>App</string>\n"), "");
  ASSERT_EQ(plist.find("CFBundleDisplayName"), std::string::npos);
  testsupport::writeFile(products + "/App.app/Info.plist", plist);
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  auto notification = service.records("notification").at(0);
  EXPECT_EQ(fieldsOf(notification),
            (std::vector<std::pair<std::string, std::string>>{{"tool_details", "build server"}}));
  EXPECT_EQ(notification["problems"].size(), 0u);
}

TEST_F(BuildServerTest, AnEndpointInTheInfoPlistMovesNeitherRequest) {
  ServiceProcess service;
  std::string plist = testsupport::readFile(products + "/App.app/Info.plist");
  const std::string displayName = "\t<key>CFBundleDisplayName</key>\n";
  ASSERT_NE(plist.find(displayName), std::string::npos);
  plist.insert(plist.find(displayName),
               "\t<key>QuorvexAPIEndpoint</key>\n\t<string>http://127.0.0.1:" +
                   std::to_string(closedPort()) + "</string>\n");
  testsupport::writeFile(products + "/App.app/Info.plist", plist);
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(service.records("notification").size(), 1u);
  EXPECT_EQ(service.records("upload").size(), 1u);
  EXPECT_EQ(countOf(result.err, "Could not be onboarded"), 0u) << result.err;
}

TEST_F(BuildServerTest, ZipHoldsTheDSYMFolderAsItsTopEntryAndIsGoneAfterTheRun) {
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  auto upload = service.records("upload").at(0);
  std::string stored = service.dataFile(upload["zip"]["file"]);
  auto listing = testsupport::runProcess({"/usr/bin/unzip", "-Z1", stored}, {});
  ASSERT_EQ(listing.status, 0) << listing.err;
  std::istringstream lines(listing.out);
  std::string first, line;
  std::getline(lines, first);
  EXPECT_EQ(first, "App.app.dSYM/");
  size_t entries = 1;
  while (std::getline(lines, line)) {
    ++entries;
    EXPECT_EQ(line.rfind("App.app.dSYM/", 0), 0u) << line;
  }
  EXPECT_GE(entries, 4u);
  auto dwarf = testsupport::runProcess(
      {"/usr/bin/unzip", "-p", stored, "App.app.dSYM/Contents/Resources/DWARF/App"}, {});
  EXPECT_TRUE(dwarf.out ==
              testsupport::readFile(products + "/App.app.dSYM/Contents/Resources/DWARF/App"));
  auto table = testsupport::runProcess({"/usr/bin/unzip", "-l", stored}, {});
  EXPECT_NE(table.out.find(" App.app.dSYM/\n"), std::string::npos) << table.out;
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, NotificationAnswered200Or201Succeeds) {
  for (const std::string status : {"200", "201"}) {
    ServiceProcess service({"--notification-answers", status});
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(countOf(result.err, "Could not be onboarded"), 0u) << result.err;
  }
}

TEST_F(BuildServerTest, NotificationAnswered202Or204IsReportedButDoesNotDecide) {
  for (const std::string status : {"202", "204"}) {
    ServiceProcess service({"--notification-answers", status});
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(countOf(result.err, "\n\nBrantle: Could not be onboarded statusCode " + status), 1u)
        << result.err;
    EXPECT_EQ(service.records("notification").size(), 1u);
    EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
  }
}

TEST_F(BuildServerTest, UploadAnswered200Or201Or300SucceedsWithTheUUIDSummary) {
  for (const std::string status : {"200", "201", "300"}) {
    ServiceProcess service({"--upload-answers", status});
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(countOf(result.err, kUploadedPrefix + status + "\n" + expectedSummary() + "\n"), 1u)
        << result.err;
    EXPECT_EQ(service.records("upload").size(), 1u);
    expectNoZipBesideTheDSYM();
  }
}

TEST_F(BuildServerTest, UploadAnswered301TwiceFailsWithOneFailureLine) {
  ServiceProcess service({"--upload-answers", "301,301"});
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "301"), 1u) << result.err;
  EXPECT_NE(result.err.find(expectedSummary()), std::string::npos) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix), 0u);
  EXPECT_EQ(service.records("upload").size(), 2u);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, FirstAttemptAnswered500SecondAnswered200) {
  ServiceProcess service({"--upload-answers", "500,200"});
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "200\n" + expectedSummary()), 1u);
  EXPECT_EQ(countOf(result.err, "could not be uploaded"), 0u) << result.err;
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), 2u);
  // Each attempt makes its own zip under a new name, and deletes it.
  EXPECT_NE(uploads[0]["fields"].back()["filename"], uploads[1]["fields"].back()["filename"]);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, BothAttemptsAnswered500FailWithOneFailureLine) {
  ServiceProcess service({"--upload-answers", "500,500"});
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "could not be uploaded"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "500"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix), 0u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 2u);
  EXPECT_EQ(service.records("notification").size(), 1u);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, ConnectionRefusedTwiceFailsWithTheTransportError) {
  auto result =
      runUnderBotsDaemon(buildSettings("http://127.0.0.1:" + std::to_string(closedPort())));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Could not be onboarded statusCode 0 Error Domain="),
            1u)
      << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "0 Error Domain="), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "could not be uploaded"), 1u) << result.err;
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, DroppedConnectionsFailAndLeaveNoZip) {
  ServiceProcess service({"--upload-answers", "drop,drop"});
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "0 Error Domain="), 1u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 2u);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, UnknownPlatformNameGivesPathsWithUnknown) {
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  settings["PLATFORM_NAME"] = "appletvos";
  auto result = runUnderBotsDaemon(settings);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(service.records("notification").at(0)["path"],
            "/spi/v1/platforms/unknown/apps/com.example.App/built");
  EXPECT_EQ(service.records("upload").at(0)["path"], "/api/v3/platforms/unknown/code_mappings");
}

TEST_F(BuildServerTest, MacOSXPlatformNameInAnyCaseGivesMac) {
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  settings["PLATFORM_NAME"] = "MacOSX";
  ASSERT_EQ(runUnderBotsDaemon(settings).status, 0);
  EXPECT_EQ(service.records("upload").at(0)["platform"], "mac");
}

TEST_F(BuildServerTest, MissingPlatformNameStopsBeforeAnyRequest) {
  ServiceProcess service;
  Settings settings = buildSettings(service.baseURL());
  settings.erase("PLATFORM_NAME");
  auto result = runUnderBotsDaemon(settings);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Failure determining project platform.\n"), 1u)
      << result.err;
  EXPECT_EQ(service.records().size(), 0u);
}

TEST_F(BuildServerTest, AbsentExecutableGivesAnUploadWithoutPairs) {
  ServiceProcess service;
  fs::remove(products + "/App.app/App");
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  auto upload = service.records("upload").at(0);
  EXPECT_EQ(upload["problems"].size(), 0u) << upload["problems"].dump(1);
  auto fields = fieldsOf(upload);
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[5].first, "com_quorvex_run_version");
  EXPECT_EQ(fields[6].first, "code_mapping[file]");
  // The summary is empty: the "uploaded" line ends right after the status.
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n\n"), 1u) << result.err;
}

TEST_F(BuildServerTest, SliceWithoutUUIDIsReportedAndLeftOut) {
  ServiceProcess service;
  auto arm64 = testsupport::buildiOSExecutable(root / "build", "App-arm64", "9.0");
  testsupport::writeWithoutUUIDCommand(arm64, arm64);
  auto simulator = testsupport::buildiOSSimulatorExecutable(root / "build", "App-sim", "9.0");
  testsupport::buildFatFile(root / "build/App", {arm64, simulator});
  fs::remove_all(products + "/App.app.dSYM");
  testsupport::buildDSYM(root / "build/App", products + "/App.app.dSYM");
  fs::copy_file(root / "build/App", products + "/App.app/App",
                fs::copy_options::overwrite_existing);
  auto slices = testsupport::dwarfdumpUUIDs(products + "/App.app/App");
  ASSERT_EQ(slices.size(), 1u);  // dwarfdump sees no UUID in the patched slice either

  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      countOf(result.err, "\n\nBrantle: Unable to extract uuid-architecture pairs from binary " +
                              products + "/App.app/App\n"),
      1u)
      << result.err;
  auto fields = fieldsOf(service.records("upload").at(0));
  ASSERT_EQ(fields.size(), 9u);
  EXPECT_EQ(fields[6],
            std::make_pair(std::string("code_mapping[executables][][identifier]"), slices[0].uuid));
  EXPECT_EQ(fields[7], std::make_pair(std::string("code_mapping[executables][][arch]"),
                                      slices[0].architecture));
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\nUUID:" + slices[0].uuid +
                                    " Slice:" + slices[0].architecture + "\n\n"),
            1u)
      << result.err;
}

TEST_F(BuildServerTest, DebugModeReportsTheDSYMPathBeforeUploading) {
  ServiceProcess service;
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()), {kSecret, "-debug", "YES"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      countOf(result.err, "\n\nBrantle: Uploading dSYM at path " + products + "/App.app.dSYM\n"),
      1u)
      << result.err;
}

TEST_F(BuildServerTest, UploadsOverHTTPSWithTheServiceCertificateTrusted) {
  auto made = testsupport::runProcess(
      {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", root / "key.pem",
       "-out", root / "cert.pem"},
      {});
  ASSERT_EQ(made.status, 0) << made.err;
  ServiceProcess service({"--cert", root / "cert.pem", "--key", root / "key.pem"});
  Settings settings = buildSettings(service.baseURL());
  settings["SSL_CERT_FILE"] = root / "cert.pem";
  auto result = runUnderBotsDaemon(settings);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(service.records("upload").size(), 1u);
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
}

TEST_F(BuildServerTest, UntrustedCertificateFailsBothAttempts) {
  auto made = testsupport::runProcess(
      {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", root / "key.pem",
       "-out", root / "cert.pem"},
      {});
  ASSERT_EQ(made.status, 0) << made.err;
  ServiceProcess service({"--cert", root / "cert.pem", "--key", root / "key.pem"});
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(service.records().size(), 0u);
  expectNoZipBesideTheDSYM();
}

// Slow and odd services, each a server written for the test.

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

TEST_F(BuildServerTest, ServiceThatTakesTheUploadSlowlyButSteadilyGetsIt) {
  growDSYMBy(1100 * 1024);
  SlowReaderServer service;  // 48 KB once a second, through a small receive buffer
  auto result = runUnderBotsDaemon(wholeZipSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "could not be uploaded"), 0u) << result.err;
  auto connections = service.connections();
  ASSERT_EQ(connections.size(), 2u);  // the notification, one upload
  const auto& upload = connections[1];
  EXPECT_EQ(upload.requestLine, "POST /api/v3/platforms/ios/code_mappings HTTP/1.1");
  EXPECT_GT(upload.contentLength, 1100u * 1024);
  EXPECT_EQ(upload.bodyRead, upload.contentLength);
  // The case that used to fail: the tool had handed all of the body to its
  // kernel more than 15 seconds before the service had read it.
  EXPECT_GT(std::chrono::duration<double>(upload.bodyInKernelBeforeEnd).count(), 16.0);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, ServiceThatStopsReadingEndsEachAttemptAfterTheIdleTimeOut) {
  growDSYMBy(1100 * 1024);
  SlowReaderOptions options;
  options.stopReadingAfter = 200 * 1024;
  SlowReaderServer service(options);
  auto start = Clock::now();
  auto result = runUnderBotsDaemon(wholeZipSettings(service.baseURL()));
  auto end = Clock::now();
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "0 Error Domain=CURLErrorDomain Code=28 "), 1u)
      << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix), 0u) << result.err;
  EXPECT_LT(secondsBetween(start, end), 60.0);
  auto connections = service.connections();
  ASSERT_EQ(connections.size(), 3u);  // the notification, two upload attempts
  EXPECT_TRUE(connections[0].answered);
  for (std::size_t attempt : {1u, 2u}) {
    ASSERT_TRUE(connections[attempt].stoppedReading.has_value()) << attempt;
    EXPECT_EQ(connections[attempt].bodyRead, 200u * 1024);
  }
  // Each attempt ends about 15 seconds after the service stopped taking bytes.
  double first = secondsBetween(*connections[1].stoppedReading, connections[2].accepted);
  double second = secondsBetween(*connections[2].stoppedReading, end);
  EXPECT_GE(first, 14.5);
  EXPECT_LE(first, 19.0);
  EXPECT_GE(second, 14.5);
  EXPECT_LE(second, 19.0);
  expectNoZipBesideTheDSYM();
}

TEST_F(BuildServerTest, ServiceThatNeverAnswersTheFirstAttemptGetsTheSecond) {
  ServiceProcess service({"--upload-answers", "stall,201"});
  auto start = Clock::now();
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  double elapsed = secondsBetween(start, Clock::now());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
  EXPECT_EQ(service.records("upload").size(), 2u);
  EXPECT_GE(elapsed, 15.0);
  EXPECT_LE(elapsed, 25.0);
  expectNoZipBesideTheDSYM();
}

// A service that reads bodies at once and answers with STATUSLINE.
SlowReaderOptions answeringWith(const std::string& statusLine) {
  SlowReaderOptions options;
  options.bytesPerTick = 1 << 30;
  options.statusLine = statusLine;
  return options;
}

TEST_F(BuildServerTest, StatusLineWithTwoSpacesCountsAsItsStatus) {
  SlowReaderServer service(answeringWith("HTTP/1.1  201 Created"));
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(countOf(result.err, kUploadedPrefix + "201\n"), 1u) << result.err;
  EXPECT_EQ(countOf(result.err, "Could not be onboarded"), 0u) << result.err;
}

TEST_F(BuildServerTest, StatusLineWithoutANumberFailsWithStatusZero) {
  SlowReaderServer service(answeringWith("HTTP/1.1 2x1 Nope"));
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(countOf(result.err, "\n\nBrantle: Could not be onboarded statusCode 0 Error Domain="),
            1u)
      << result.err;
  EXPECT_EQ(countOf(result.err, kFailedPrefix + "0 Error Domain=CURLErrorDomain "), 1u)
      << result.err;
  EXPECT_EQ(service.connections().size(), 3u);
  expectNoZipBesideTheDSYM();
}

namespace {

// The UUID and architecture fields of an upload, as (uuid, arch) pairs in
// the order sent.
std::vector<testsupport::UUIDAndArchitecture> uploadedPairs(const platform::Value& upload) {
  std::vector<testsupport::UUIDAndArchitecture> pairs;
  std::string uuid;
  for (const auto& [name, value] : fieldsOf(upload)) {
    if (name == "code_mapping[executables][][identifier]") uuid = value;
    if (name == "code_mapping[executables][][arch]") pairs.push_back({uuid, value});
  }
  return pairs;
}

}  // namespace

// The sample executable with its table entries swapped: the table lists the
// slices against the order of their offsets, and every slice is still sent,
// in table order, as llvm-dwarfdump reads them.
TEST_F(BuildServerTest, FatTableOutOfOffsetOrderUploadsEveryPairInTableOrder) {
  ServiceProcess service;
  const std::string executable = products + "/App.app/App";
  auto original = testsupport::dwarfdumpUUIDs(executable);
  testsupport::writeWithFatEntriesSwapped(executable, root / "App-swapped", 0, 1);
  fs::copy_file(root / "App-swapped", executable, fs::copy_options::overwrite_existing);
  auto expected = testsupport::dwarfdumpUUIDs(executable);
  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(expected[0], original[1]);
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  auto upload = service.records("upload").at(0);
  EXPECT_EQ(upload["problems"].size(), 0u) << upload["problems"].dump(1);
  EXPECT_EQ(uploadedPairs(upload), expected);
}

TEST_F(BuildServerTest, SixtyFourBitFatExecutableUploadsEveryPair) {
  ServiceProcess service;
  const std::string executable = products + "/App.app/App";
  auto expected = testsupport::dwarfdumpUUIDs(executable);
  testsupport::writeAsFat64(executable, root / "App-fat64");
  fs::copy_file(root / "App-fat64", executable, fs::copy_options::overwrite_existing);
  ASSERT_EQ(testsupport::readFile(executable).substr(0, 4), "\xca\xfe\xba\xbf");
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(executable), expected);
  ASSERT_EQ(expected.size(), 2u);
  auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(uploadedPairs(service.records("upload").at(0)), expected);
}

// Reordered or 64-bit, an old slice anywhere in the table stops the run
// before anything is sent.
TEST_F(BuildServerTest, OldSliceInTheLaterEntryOfAReorderedOrWideTableIsRefused) {
  ServiceProcess service;
  auto fat = testsupport::buildFatFile(
      root / "build/App",
      {testsupport::buildiOSExecutable(root / "build", "App-arm64", "9.0"),
       testsupport::buildiOSSimulatorExecutable(root / "build", "App-sim", "4.3")});
  ASSERT_EQ(testsupport::dwarfdumpUUIDs(fat).at(0).architecture, "x86_64");
  for (const auto& variant :
       {testsupport::writeWithFatEntriesSwapped(fat, root / "build/App-swapped", 0, 1),
        testsupport::writeAsFat64(fat, root / "build/App-fat64")}) {
    fs::copy_file(variant, products + "/App.app/App", fs::copy_options::overwrite_existing);
    auto result = runUnderBotsDaemon(buildSettings(service.baseURL()));
    EXPECT_EQ(result.status, 1) << variant << result.err;
    EXPECT_EQ(countOf(result.err, "\n\nBrantle: Unsupported iOS Version\n\n"), 1u) << result.err;
  }
  EXPECT_EQ(service.records().size(), 0u);
}
