#include <gtest/gtest.h>

#include <chrono>

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"
#include "platform/Format.h"
#include "tests/support/TestSupport.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using testsupport::LoopbackHTTPServer;
using testsupport::Reply;
using testsupport::ScopedEnvironmentVariable;
using webclienttest::sendSync;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::shared_ptr<QVXWebRequest> get(const std::string& path = "/x") {
  return QVXWebRequest::requestWithMethod_path("GET", path);
}

TEST(Transport, RefusedConnectionGivesStatusZeroAndTheCurlError) {
  testsupport::RefusingPort refusing;
  auto response = sendSync("http://127.0.0.1:" + std::to_string(refusing.port()), get());
  EXPECT_EQ(response->statusCode(), 0u);
  ASSERT_TRUE(response->error().has_value());
  EXPECT_EQ(response->error()->domain, "CURLErrorDomain");
  EXPECT_EQ(response->error()->code, 7);
  std::string printed = platform::format("%@", response->error());
  EXPECT_EQ(printed.rfind("Error Domain=CURLErrorDomain Code=7 \"", 0), 0u) << printed;
}

TEST(Transport, ServerThatStopsSendingEndsAfterTheIdleTimeOut) {
  testsupport::ServerOptions options;
  options.stallAfterBody = "the first bytes";
  LoopbackHTTPServer server(options);
  auto start = Clock::now();
  auto response = sendSync(server.baseURL(), get("/stall"));
  double elapsed = secondsSince(start);
  EXPECT_GE(elapsed, 14.0);
  EXPECT_LE(elapsed, 20.0);
  ASSERT_TRUE(response->error().has_value());
  EXPECT_EQ(response->error()->domain, "CURLErrorDomain");
  EXPECT_EQ(response->error()->code, 28);  // operation timed out
  EXPECT_EQ(response->statusCode(), 200u);
  EXPECT_EQ(webclienttest::text(response->responseData()), "the first bytes");
}

// The response to a GET of a server that answers with STATUSLINE.
std::shared_ptr<QVXWebResponse> answeredWith(const std::string& statusLine) {
  testsupport::RawHeadCapture server(statusLine +
                                     "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  return sendSync(server.baseURL(), get("/status"));
}

TEST(Transport, StatusIsTheOneCurlReadsEvenWithTwoSpaces) {
  auto response = answeredWith("HTTP/1.1  201 Created");
  EXPECT_FALSE(response->error().has_value()) << platform::format("%@", response->error());
  EXPECT_EQ(response->statusCode(), 201u);
  EXPECT_TRUE(response->wasSuccessful());
  EXPECT_EQ(webclienttest::text(response->responseData()), "ok");
}

TEST(Transport, StatusLineCurlCannotReadFailsWithStatusZero) {
  for (const std::string line : {"HTTP/1.1 2x1 Nope", "HTTP/1.1 99 Low", "HTTP/1.1 1000 Big"}) {
    auto response = answeredWith(line);
    EXPECT_EQ(response->statusCode(), 0u) << line;
    ASSERT_TRUE(response->error().has_value()) << line;
    EXPECT_EQ(response->error()->domain, "CURLErrorDomain");
    EXPECT_FALSE(response->responseHeaders().has_value()) << line;
    EXPECT_FALSE(response->wasSuccessful());
  }
}

TEST(Transport, InterimHeadIsPassedOverForTheFinalOne) {
  auto response = answeredWith("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 202 Accepted");
  EXPECT_FALSE(response->error().has_value()) << platform::format("%@", response->error());
  EXPECT_EQ(response->statusCode(), 202u);
  EXPECT_EQ(response->responseHeaders()->count("Content-Length"), 1u);
}

TEST(Transport, RedirectIsNotFollowed) {
  LoopbackHTTPServer server;
  server.setHandler([](const testsupport::ReceivedRequest&) {
    Reply reply;
    reply.status = 302;
    reply.headers = {{"Location", "/elsewhere"}};
    return reply;
  });
  auto response = sendSync(server.baseURL(), get("/moved"));
  EXPECT_EQ(response->statusCode(), 302u);
  EXPECT_FALSE(response->error().has_value());
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(Transport, HeaderValueWithLineBreakIsNeverSent) {
  LoopbackHTTPServer server;
  for (std::string value : {std::string("a\r\nX-Injected: 1"), std::string("a\nb"),
                            std::string("a\rb"), std::string("a\0b", 3)}) {
    auto request = get("/h");
    request->addValue_forHTTPHeaderField(value, "X-Evil");
    auto response = sendSync(server.baseURL(), request);
    EXPECT_EQ(response->statusCode(), 0u);
    ASSERT_TRUE(response->error().has_value());
    EXPECT_EQ(response->error()->domain, "CURLErrorDomain");
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(Transport, MethodThatIsNoTokenIsNeverSent) {
  LoopbackHTTPServer server;
  auto response =
      sendSync(server.baseURL(), QVXWebRequest::requestWithMethod_path("GET / HTTP/1.0\r\n", "/"));
  EXPECT_EQ(response->statusCode(), 0u);
  EXPECT_TRUE(response->error().has_value());
  EXPECT_TRUE(server.requests().empty());
}

TEST(Transport, EmptyHeaderValueIsSentEmpty) {
  testsupport::RawHeadCapture capture;
  auto request = get("/e");
  request->addValue_forHTTPHeaderField("", "X-Empty");
  sendSync(capture.baseURL(), request);
  EXPECT_NE(capture.head().find("\r\nX-Empty:\r\n"), std::string::npos) << capture.head();
}

TEST(Transport, HeadCarriesEachFieldOnceAndNoCurlDefaults) {
  testsupport::RawHeadCapture capture;
  auto request = get("/h");
  request->addValue_forHTTPHeaderField("run/1.3.17", "User-Agent");
  sendSync(capture.baseURL(), request);
  std::string head = capture.head();
  EXPECT_EQ(head.rfind("GET /h HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_EQ(testsupport::countOf(head, "\r\nAccept: "), 1u) << head;
  EXPECT_NE(head.find("\r\nAccept: application/json, application/x-plist\r\n"), std::string::npos);
  EXPECT_NE(head.find("\r\nUser-Agent: run/1.3.17\r\n"), std::string::npos);
  EXPECT_EQ(head.find("Expect"), std::string::npos);
  EXPECT_EQ(head.find("Content-Type"), std::string::npos);
}

TEST(Transport, LargeBodyGoesWithItsLengthUnchunkedWithoutExpect) {
  LoopbackHTTPServer server;
  auto request = QVXWebRequest::requestWithMethod_path("POST", "/big");
  request->addData_MIMEType_fileName_forFormField(
      platform::Bytes(2 * 1024 * 1024, 0x5a), "application/zip", "big.zip", "code_mapping[file]");
  request->addValue_forHTTPHeaderField("chunked", "Transfer-Encoding");
  auto response = sendSync(server.baseURL(), request);
  EXPECT_EQ(response->statusCode(), 200u);
  ASSERT_EQ(server.requests().size(), 1u);
  const testsupport::ReceivedRequest received = server.requests().at(0);
  EXPECT_EQ(received.header("Content-Length"), std::to_string(request->formData()->size()));
  EXPECT_FALSE(received.header("Transfer-Encoding").has_value());
  EXPECT_FALSE(received.header("Expect").has_value());
  EXPECT_EQ(received.body, webclienttest::text(*request->formData()));
}

TEST(Transport, MissingBodyFileFailsBeforeSending) {
  LoopbackHTTPServer server;
  testsupport::TempDir dir;
  auto request = QVXWebRequest::requestWithMethod_path("POST", "/f");
  request->addFileData_MIMEType_fileName_forFormField(dir / "missing.zip", "application/zip",
                                                      "missing.zip", "code_mapping[file]");
  EXPECT_FALSE(request->formData().has_value());
  auto response = sendSync(server.baseURL(), request);
  EXPECT_EQ(response->statusCode(), 0u);
  EXPECT_EQ(response->error()->code, 26);  // read error
  EXPECT_TRUE(server.requests().empty());
}

TEST(Transport, OnlyHTTPAndHTTPSAreSpoken) {
  auto request = get("/etc/passwd");
  request->setURL(platform::URL::URLWithString("file:///etc/passwd"));
  auto response = sendSync("http://127.0.0.1:1", request);
  EXPECT_EQ(response->error()->code, 1);  // unsupported protocol
  EXPECT_TRUE(response->responseData().empty());
}

TEST(Transport, ProxyComesFromTheEnvironment) {
  LoopbackHTTPServer origin, proxy;
  ScopedEnvironmentVariable proxyVariable("http_proxy", proxy.baseURL());
  ScopedEnvironmentVariable noProxy("no_proxy", std::nullopt);
  ScopedEnvironmentVariable noProxyUpper("NO_PROXY", std::nullopt);
  auto response = sendSync(origin.baseURL(), get("/through"));
  EXPECT_EQ(response->statusCode(), 200u);
  EXPECT_TRUE(origin.requests().empty());
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].target, origin.baseURL() + "/through");
}

class TransportTLS : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::makeSelfSignedCertificate(dir / "cert.pem", dir / "key.pem"))
        << "the openssl command (Debian package openssl) makes the test certificate";
    testsupport::ServerOptions options;
    options.certificatePath = dir / "cert.pem";
    options.keyPath = dir / "key.pem";
    server = std::make_unique<LoopbackHTTPServer>(options);
  }

  testsupport::TempDir dir;
  std::unique_ptr<LoopbackHTTPServer> server;
  ScopedEnvironmentVariable noFile{"SSL_CERT_FILE", std::nullopt};
  ScopedEnvironmentVariable noDir{"SSL_CERT_DIR", std::nullopt};
};

TEST_F(TransportTLS, SelfSignedServerIsRefused) {
  auto response = sendSync(server->baseURL(), get("/tls"));
  EXPECT_EQ(response->statusCode(), 0u);
  ASSERT_TRUE(response->error().has_value());
  EXPECT_EQ(response->error()->code, 60);  // peer certificate not verified
  EXPECT_TRUE(server->requests().empty());
}

TEST_F(TransportTLS, CertificateFileAddsTrust) {
  ScopedEnvironmentVariable trust("SSL_CERT_FILE", dir / "cert.pem");
  auto response = sendSync(server->baseURL(), get("/tls"));
  EXPECT_FALSE(response->error().has_value()) << platform::format("%@", response->error());
  EXPECT_EQ(response->statusCode(), 200u);
  EXPECT_EQ(server->requests().size(), 1u);
}

TEST_F(TransportTLS, CertificateFolderAddsTrust) {
  testsupport::ProcessResult hash = testsupport::runProcess(
      {"/usr/bin/openssl", "x509", "-hash", "-noout", "-in", dir / "cert.pem"}, {});
  ASSERT_EQ(hash.status, 0);
  std::string name = hash.out.substr(0, hash.out.find('\n')) + ".0";
  testsupport::writeFile(dir / ("trust/" + name), testsupport::readFile(dir / "cert.pem"));
  ScopedEnvironmentVariable trust("SSL_CERT_DIR", dir / "trust");
  auto response = sendSync(server->baseURL(), get("/tls"));
  EXPECT_FALSE(response->error().has_value()) << platform::format("%@", response->error());
  EXPECT_EQ(response->statusCode(), 200u);
}

TEST_F(TransportTLS, TrustAnswerOfTheRequestNeverSkipsVerification) {
  auto request = get("/tls");
  std::atomic<int> asked{0};
  request->setProtectionSpaceHandler([&](const platform::ProtectionSpace& space) {
    if (space.serverTrust && space.host == "127.0.0.1") ++asked;
    return true;
  });
  auto client = QVXWebClient::initWithURL(server->baseURL());
  webclienttest::Signal done;
  std::shared_ptr<QVXWebResponse> seen;
  client->startRequest_completion(request, [&](std::shared_ptr<QVXWebResponse> response) {
    seen = response;
    done.raise();
  });
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(seen->error()->code, 60);
  EXPECT_TRUE(server->requests().empty());
}

}  // namespace
