// The web service stand-in as a process, spoken to with curl: what it
// accepts, what it refuses, what it stores and how it answers per attempt.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

using testsupport::ServiceProcess;
using testsupport::TempDir;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";
const std::string kSecret(64, 's');

using Headers = std::vector<std::pair<std::string, std::string>>;

Headers identityHeaders() {
  return {{"X-Quorvex-API-Key", kKey},
          {"X-Quorvex-Developer-Token", "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed"},
          {"X-Quorvex-API-Client-Id", "com.quorvex.run"},
          {"User-Agent", "run/1.3.17"},
          {"X-Quorvex-API-Client-Build-Version", "149"},
          {"X-Quorvex-API-Client-Display-Version", "1.3.17"},
          {"Accept", "application/json, application/x-plist"},
          {"Content-Type", "multipart/form-data; boundary=AaB03x"}};
}

// A multipart body in the tool's form.
struct Body {
  std::string bytes = "MIME-Version: 1.0\r\n";
  Body& text(const std::string& name, const std::string& value) {
    bytes += "--AaB03x\r\nContent-Disposition: form-data; name=\"" + name +
             "\"\r\nContent-Type: text/plain\r\n\r\n" + value + "\r\n";
    return *this;
  }
  Body& file(const std::string& name, const std::string& filename, const std::string& contents) {
    bytes += "--AaB03x\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" +
             filename +
             "\"\r\nContent-Type: application/zip\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
             contents + "\r\n";
    return *this;
  }
  std::string close() const { return bytes + "--AaB03x--\r\n"; }
};

struct Exchange {
  std::string status;  // "000" when no answer came
  int curlExit = -1;
};

// Posts the body with exactly these headers (curl adds Host and Content-Length).
Exchange post(const ServiceProcess& service, const std::string& path, const Headers& headers,
              const std::string& body, const std::vector<std::string>& extra = {}) {
  TempDir dir;
  testsupport::writeFile(dir / "body", body);
  std::vector<std::string> argv{"/usr/bin/curl", "-s", "-o",     "/dev/null", "-w",
                                "%{http_code}",  "-H", "Expect:"};
  for (const auto& [name, value] : headers) {
    argv.push_back("-H");
    argv.push_back(name + ": " + value);
  }
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.insert(argv.end(), {"--data-binary", "@" + (dir / "body"), service.baseURL() + path});
  auto result = testsupport::runProcess(argv, {});
  return {result.out, result.status};
}

// The zip (stored, not deflated) of a dSYM whose DWARF file holds MEGABYTES
// of bytes that differ from page to page.
std::string largeDSYMZip(const TempDir& dir, int megabytes) {
  const std::string dwarf = dir / "src/Big.app.dSYM/Contents/Resources/DWARF/Big";
  testsupport::writeFile(dwarf, "");
  {
    std::ofstream big(dwarf, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (int i = 0; i < megabytes; ++i) {
      for (size_t j = 0; j < block.size(); j += 4096) block[j] = static_cast<char>(i * 31 + j);
      big << block;
    }
  }
  testsupport::runProcess({"/usr/bin/zip", "-r", "-0", "-q", dir / "big.zip", "Big.app.dSYM"}, {},
                          dir / "src");
  return testsupport::readFile(dir / "big.zip");
}

std::string dsymZip(const TempDir& dir, const std::string& top = "App.app.dSYM") {
  testsupport::writeFile(dir / ("src/" + top + "/Contents/Info.plist"), "plist");
  testsupport::writeFile(dir / ("src/" + top + "/Contents/Resources/DWARF/App"), "dwarf");
  testsupport::runProcess({"/usr/bin/zip", "-r", "-y", "-q", dir / "d.zip", top}, {}, dir / "src");
  return testsupport::readFile(dir / "d.zip");
}

Body uploadFields() {
  Body body;
  body.text("project[identifier]", "com.example.App")
      .text("project[display_version]", "42")
      .text("project[build_version]", "1.0")
      .text("code_mapping[build_configuration]", "Release")
      .text("code_mapping[type]", "dsym")
      .text("com_quorvex_run_version", "149")
      .text("code_mapping[executables][][identifier]", "00112233445566778899aabbccddeeff")
      .text("code_mapping[executables][][arch]", "arm64");
  return body;
}

const std::string kUploadPath = "/api/v3/platforms/ios/code_mappings";
const std::string kNotificationPath = "/spi/v1/platforms/ios/apps/com.example.App/built";

std::string notificationBody() {
  return Body().text("app_name", "App").text("tool_details", "build server").close();
}

}  // namespace

TEST(StandInService, StoresAWellFormedUploadAndAnswers201) {
  ServiceProcess service;
  TempDir dir;
  std::string zip = dsymZip(dir);
  auto exchange = post(service, kUploadPath, identityHeaders(),
                       uploadFields().file("code_mapping[file]", "U.zip", zip).close());
  EXPECT_EQ(exchange.status, "201");
  auto records = service.records("upload");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["problems"].size(), 0u) << records[0].dump(2);
  EXPECT_EQ(records[0]["platform"], "ios");
  EXPECT_EQ(records[0]["fields"][1]["value"], "42");
  EXPECT_EQ(records[0]["fields"][8]["filename"], "U.zip");
  EXPECT_EQ(records[0]["zip"]["top"], "App.app.dSYM/");
  EXPECT_EQ(testsupport::readFile(service.dataFile(records[0]["zip"]["file"])), zip);
}

TEST(StandInService, AcceptsANotificationWithAndWithoutA64ByteSecret) {
  ServiceProcess service;
  Headers withSecret = identityHeaders();
  withSecret.push_back({"X-Quorvex-Build-Secret", kSecret});
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), notificationBody()).status, "201");
  EXPECT_EQ(post(service, kNotificationPath, withSecret, notificationBody()).status, "201");
  auto records = service.records("notification");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1]["bundleIdentifier"], "com.example.App");
  EXPECT_EQ(records[1]["headers"]["X-Quorvex-Build-Secret"], kSecret);
  EXPECT_EQ(records[1]["attempt"], 2);
}

TEST(StandInService, RefusesASecretOfAnotherLengthOrOnAnUpload) {
  ServiceProcess service;
  Headers shortSecret = identityHeaders();
  shortSecret.push_back({"X-Quorvex-Build-Secret", "short"});
  EXPECT_EQ(post(service, kNotificationPath, shortSecret, notificationBody()).status, "400");
  TempDir dir;
  Headers uploadSecret = identityHeaders();
  uploadSecret.push_back({"X-Quorvex-Build-Secret", kSecret});
  EXPECT_EQ(post(service, kUploadPath, uploadSecret,
                 uploadFields().file("code_mapping[file]", "U.zip", dsymZip(dir)).close())
                .status,
            "400");
  auto records = service.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["problems"][0], "X-Quorvex-Build-Secret is not 64 bytes long");
  EXPECT_EQ(records[1]["problems"][0], "an upload carries X-Quorvex-Build-Secret");
}

TEST(StandInService, RefusesAMissingWrongOrExtraIdentityHeader) {
  ServiceProcess service;
  Headers missing = identityHeaders();
  missing.erase(missing.begin() + 1);
  Headers wrong = identityHeaders();
  wrong[3].second = "run/0.0";
  Headers extra = identityHeaders();
  extra.push_back({"X-Quorvex-Other", "1"});
  for (const Headers& headers : {missing, wrong, extra})
    EXPECT_EQ(post(service, kNotificationPath, headers, notificationBody()).status, "400");
  auto records = service.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]["problems"][0], "X-Quorvex-Developer-Token appears 0 times");
  EXPECT_EQ(records[1]["problems"][0], "User-Agent is \"run/0.0\", expected \"run/1.3.17\"");
  EXPECT_EQ(records[2]["problems"][0], "unexpected header X-Quorvex-Other");
}

// A chunked upload (a body of unknown length) is read, paced, checked,
// stored and recorded as the same upload with its length is; a service
// that requires a length reads it whole and answers 411.
TEST(StandInService, ReadsAChunkedUploadAsOneWithItsLength) {
  struct Row {
    const char* name;
    std::vector<std::string> options;
    bool chunked;
    std::string status;
    double leastSeconds;  // the body's time at the read rate
  };
  const Row rows[] = {{"with its length", {}, false, "201", 0},
                      {"chunked", {}, true, "201", 0},
                      {"chunked, read at 20 MB/s", {"--read-rate", "20000000"}, true, "201", 1.0},
                      {"chunked, length required", {"--length-required"}, true, "411", 0}};
  TempDir dir;
  const std::string zip = largeDSYMZip(dir, 20);
  ASSERT_FALSE(zip.empty());
  const std::string body = uploadFields().file("code_mapping[file]", "U.zip", zip).close();
  platform::Value lengthedFields;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ServiceProcess service(row.options);
    Headers headers = identityHeaders();
    if (row.chunked) headers.push_back({"Transfer-Encoding", "chunked"});
    const auto start = std::chrono::steady_clock::now();
    auto exchange = post(service, kUploadPath, headers, body);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              row.leastSeconds);
    EXPECT_EQ(exchange.status, row.status);
    auto records = service.records("upload");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["headers"].contains("Transfer-Encoding"), row.chunked);
    EXPECT_EQ(records[0]["bodyBytes"], body.size());
    EXPECT_EQ(records[0]["problems"].size(), 0u) << records[0].dump(2);
    EXPECT_EQ(records[0]["answer"], std::stoi(row.status));
    if (row.status == "411") continue;  // read to its end, neither parsed nor stored
    if (lengthedFields.is_null()) lengthedFields = records[0]["fields"];
    EXPECT_EQ(records[0]["fields"], lengthedFields);
    EXPECT_EQ(records[0]["zip"]["top"], "Big.app.dSYM/");
    EXPECT_TRUE(testsupport::readFile(service.dataFile(records[0]["zip"]["file"])) == zip);
  }
}

TEST(StandInService, RefusesFieldsOutOfOrderOrAWrongToolDetails) {
  ServiceProcess service;
  std::string swapped = Body().text("tool_details", "build server").text("app_name", "A").close();
  std::string wrongValue = Body().text("tool_details", "interactive").close();
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), swapped).status, "400");
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), wrongValue).status, "400");
  EXPECT_EQ(service.records()[1]["problems"][0], "tool_details is \"interactive\"");
}

TEST(StandInService, RefusesAZipWhoseTopIsNotTheDSYMFolder) {
  ServiceProcess service;
  TempDir dir;
  std::string zip = dsymZip(dir, "Contents");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(),
                 uploadFields().file("code_mapping[file]", "U.zip", zip).close())
                .status,
            "400");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(),
                 uploadFields().file("code_mapping[file]", "U.zip", "not a zip").close())
                .status,
            "400");
  auto records = service.records("upload");
  EXPECT_EQ(records[0]["problems"][0], "the zip: the first entry is not a .dSYM folder: Contents/");
  EXPECT_EQ(records[1]["problems"][0], "the zip: no end-of-directory record: not a zip archive");
}

TEST(StandInService, RefusesAnIdentifierThatIsNot32LowercaseHexDigits) {
  ServiceProcess service;
  TempDir dir;
  Body body;
  body.text("code_mapping[type]", "dsym")
      .text("com_quorvex_run_version", "149")
      .text("code_mapping[executables][][identifier]", "00112233-4455-6677-8899-AABBCCDDEEFF")
      .text("code_mapping[executables][][arch]", "arm64");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(),
                 body.file("code_mapping[file]", "U.zip", dsymZip(dir)).close())
                .status,
            "400");
}

TEST(StandInService, AnswersEachAttemptAsToldThen201) {
  ServiceProcess service({"--notification-answers", "202,204", "--upload-answers", "500,300"});
  TempDir dir;
  std::string upload = uploadFields().file("code_mapping[file]", "U.zip", dsymZip(dir)).close();
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), notificationBody()).status, "202");
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), notificationBody()).status, "204");
  EXPECT_EQ(post(service, kNotificationPath, identityHeaders(), notificationBody()).status, "201");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(), upload).status, "500");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(), upload).status, "300");
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(), upload).status, "201");
  auto uploads = service.records("upload");
  ASSERT_EQ(uploads.size(), 3u);
  EXPECT_EQ(uploads[0]["answer"], 500);
  EXPECT_EQ(uploads[2]["attempt"], 3);
}

TEST(StandInService, DroppedConnectionGivesNoAnswer) {
  ServiceProcess service({"--upload-answers", "drop"});
  TempDir dir;
  auto exchange = post(service, kUploadPath, identityHeaders(),
                       uploadFields().file("code_mapping[file]", "U.zip", dsymZip(dir)).close());
  EXPECT_EQ(exchange.status, "000");
  EXPECT_NE(exchange.curlExit, 0);
  EXPECT_EQ(service.records("upload")[0]["answer"], "drop");
}

TEST(StandInService, StalledAnswerNeverComes) {
  ServiceProcess service({"--notification-answers", "stall"});
  auto exchange =
      post(service, kNotificationPath, identityHeaders(), notificationBody(), {"--max-time", "1"});
  EXPECT_EQ(exchange.status, "000");
  EXPECT_EQ(exchange.curlExit, 28);  // curl's time-out
  EXPECT_EQ(service.records("notification")[0]["answer"], "stall");
}

TEST(StandInService, UnknownPathAndWrongMethodAreRecordedAndRefused) {
  ServiceProcess service;
  EXPECT_EQ(post(service, "/api/v3/other", identityHeaders(), notificationBody()).status, "404");
  auto get = testsupport::runProcess({"/usr/bin/curl", "-s", "-o", "/dev/null", "-w",
                                      "%{http_code}", service.baseURL() + kUploadPath},
                                     {});
  EXPECT_EQ(get.out, "405");
  EXPECT_EQ(service.records("unexpected").size(), 2u);
}

TEST(StandInService, LenientServiceRecordsProblemsButAnswersAsPlanned) {
  ServiceProcess service({"--lenient"});
  EXPECT_EQ(post(service, kNotificationPath, {}, notificationBody()).status, "201");
  EXPECT_GT(service.records()[0]["problems"].size(), 0u);
}

TEST(StandInService, ServesHTTPSWithTheGivenCertificate) {
  TempDir dir;
  auto made = testsupport::runProcess(
      {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", dir / "key.pem",
       "-out", dir / "cert.pem"},
      {});
  ASSERT_EQ(made.status, 0) << made.err;
  ServiceProcess service({"--cert", dir / "cert.pem", "--key", dir / "key.pem"});
  EXPECT_EQ(service.baseURL().rfind("https://", 0), 0u);
  auto exchange = post(service, kNotificationPath, identityHeaders(), notificationBody(),
                       {"--cacert", dir / "cert.pem"});
  EXPECT_EQ(exchange.status, "201");
  EXPECT_EQ(service.records("notification").size(), 1u);
}

// The upload is written to disk as it arrives: the service's peak memory
// stays far below the size of the upload.
TEST(StandInService, LargeUploadIsStreamedToDisk) {
  ServiceProcess service;
  TempDir dir;
  std::string zip = largeDSYMZip(dir, 160);
  ASSERT_FALSE(zip.empty());
  std::string body = uploadFields().file("code_mapping[file]", "U.zip", zip).close();
  zip.clear();
  EXPECT_EQ(post(service, kUploadPath, identityHeaders(), body).status, "201");
  std::string status = testsupport::readFile("/proc/" + std::to_string(service.pid()) + "/status");
  size_t at = status.find("VmHWM:");
  ASSERT_NE(at, std::string::npos);
  long peakKiB = std::stol(status.substr(at + 6));
  EXPECT_LT(peakKiB, 48 * 1024) << "peak " << peakKiB << " KiB for a 160 MiB upload";
  auto record = service.records("upload")[0];
  EXPECT_EQ(record["zip"]["top"], "Big.app.dSYM/");
}

TEST(StandInService, MatchesHeaderNamesWithoutRegardToCase) {
  ServiceProcess service;
  Headers lowerCase = identityHeaders();  // as HTTP/2 sends them
  lowerCase.push_back({"X-Quorvex-Build-Secret", kSecret});
  for (auto& header : lowerCase)
    for (char& c : header.first) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(post(service, kNotificationPath, lowerCase, notificationBody()).status, "201");
  EXPECT_EQ(service.records().at(0)["problems"].size(), 0u) << service.records().at(0).dump(2);
}
