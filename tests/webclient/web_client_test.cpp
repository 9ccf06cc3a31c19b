#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"
#include "platform/GlobalQueue.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using testsupport::LoopbackHTTPServer;
using testsupport::Reply;
using webclienttest::bytes;
using webclienttest::Signal;

std::function<Reply(const testsupport::ReceivedRequest&)> answering(int status) {
  return [status](const testsupport::ReceivedRequest&) {
    Reply reply;
    reply.status = status;
    reply.body = "answer";
    return reply;
  };
}

class WebClient : public ::testing::Test {
 protected:
  LoopbackHTTPServer server;
  std::shared_ptr<QVXWebClient> client = QVXWebClient::initWithURL(server.baseURL() + "/base/");

  // Sends synchronously and returns the response the callback saw.
  std::shared_ptr<QVXWebResponse> send(std::shared_ptr<QVXWebRequest> request) {
    std::shared_ptr<QVXWebResponse> seen;
    client->syncStartRequest_completion(request,
                                        [&](std::shared_ptr<QVXWebResponse> r) { seen = r; });
    return seen;
  }

  // The only request the server received.
  testsupport::ReceivedRequest received() {
    auto requests = server.requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? testsupport::ReceivedRequest() : requests.back();
  }
};

TEST_F(WebClient, CreationKeepsTheBaseURL) {
  EXPECT_EQ(client->URL().absoluteString(), server.baseURL() + "/base/");
  EXPECT_EQ(client->transactionCount(), 0u);
  EXPECT_EQ(QVXWebClient::initWithURL("not a url"), nullptr);
}

TEST_F(WebClient, LeadingSlashReplacesTheBasePath) {
  send(QVXWebRequest::requestWithMethod_path("GET", "/spi/v1/x"));
  EXPECT_EQ(received().target, "/spi/v1/x");
}

TEST_F(WebClient, RelativePathResolvesAgainstTheBasePath) {
  send(QVXWebRequest::requestWithMethod_path("GET", "child"));
  EXPECT_EQ(received().target, "/base/child");
}

TEST_F(WebClient, RequestWithItsOwnURLIgnoresItsPath) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/ignored");
  request->setURL(platform::URL::URLWithString(server.baseURL() + "/own"));
  send(request);
  EXPECT_EQ(received().target, "/own");
}

TEST_F(WebClient, SendsTheDefaultAcceptHeader) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/a");
  send(request);
  EXPECT_EQ(received().header("Accept"), "application/json, application/x-plist");
  EXPECT_EQ(request->customHeaders().at("Accept"), "application/json, application/x-plist");
}

TEST_F(WebClient, RequestKeepsItsOwnAccept) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/a");
  request->addValue_forHTTPHeaderField("text/html", "Accept");
  send(request);
  EXPECT_EQ(received().header("Accept"), "text/html");
  EXPECT_EQ(received().headerCount("Accept"), 1u);
}

TEST_F(WebClient, DefaultHeadersReachLaterRequests) {
  client->addValue_forHeader("one", "X-Default");
  client->addValue_forHeader("two", "X-Default");
  send(QVXWebRequest::requestWithMethod_path("GET", "/a"));
  EXPECT_EQ(received().header("X-Default"), "two");
}

TEST_F(WebClient, UnexpectedStatusGivesCodeMinusOne) {
  server.setHandler(answering(200));
  std::shared_ptr<QVXWebResponse> seen;
  client->syncStartRequest_expectingResponse_completion(
      QVXWebRequest::requestWithMethod_path("POST", "/n"), 201,
      [&](std::shared_ptr<QVXWebResponse> r) { seen = r; });
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->statusCode(), 200u);
  ASSERT_TRUE(seen->error().has_value());
  EXPECT_EQ(seen->error()->domain, "QVXWebClientErrorDomain");
  EXPECT_EQ(seen->error()->code, -1);
}

TEST_F(WebClient, ExpectedStatusLeavesNoError) {
  server.setHandler(answering(201));
  std::shared_ptr<QVXWebResponse> seen;
  client->syncStartRequest_expectingResponse_completion(
      QVXWebRequest::requestWithMethod_path("POST", "/n"), 201,
      [&](std::shared_ptr<QVXWebResponse> r) { seen = r; });
  EXPECT_FALSE(seen->error().has_value());
  EXPECT_TRUE(seen->wasSuccessful());
}

TEST_F(WebClient, ExpectedStatusKeepsATransportError) {
  testsupport::RefusingPort refusing;
  auto refused = QVXWebClient::initWithURL("http://127.0.0.1:" + std::to_string(refusing.port()));
  std::shared_ptr<QVXWebResponse> seen;
  refused->syncStartRequest_expectingResponse_completion(
      QVXWebRequest::requestWithMethod_path("GET", "/n"), 201,
      [&](std::shared_ptr<QVXWebResponse> r) { seen = r; });
  EXPECT_EQ(seen->statusCode(), 0u);
  EXPECT_EQ(seen->error()->domain, "CURLErrorDomain");
  EXPECT_EQ(seen->error()->code, 7);
}

TEST_F(WebClient, ExpectedStatusWithoutCallbackSendsAndCallsNothing) {
  client->syncStartRequest_expectingResponse_completion(
      QVXWebRequest::requestWithMethod_path("POST", "/quiet"), 201, nullptr);
  EXPECT_EQ(received().target, "/quiet");
  EXPECT_EQ(client->transactionCount(), 0u);
}

TEST_F(WebClient, TransactionSetIsEmptyAfterASynchronousRequest) {
  bool called = false;
  client->syncStartRequest_completion(QVXWebRequest::requestWithMethod_path("GET", "/a"),
                                      [&](std::shared_ptr<QVXWebResponse>) { called = true; });
  EXPECT_TRUE(called);
  EXPECT_EQ(client->transactionCount(), 0u);
}

TEST_F(WebClient, SynchronousCallbackHasReturnedWhenTheStartReturns) {
  std::atomic<bool> returned{false};
  client->syncStartRequest_completion(QVXWebRequest::requestWithMethod_path("GET", "/a"),
                                      [&](std::shared_ptr<QVXWebResponse> r) {
                                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                        returned = r != nullptr;
                                      });
  EXPECT_TRUE(returned);
}

TEST_F(WebClient, AsynchronousCallbackRunsOnceOnTheGlobalQueue) {
  std::atomic<int> calls{0};
  std::atomic<bool> onGlobalQueue{false};
  Signal done;
  client->startRequest_completion(QVXWebRequest::requestWithMethod_path("GET", "/async"),
                                  [&](std::shared_ptr<QVXWebResponse> response) {
                                    onGlobalQueue = platform::GlobalQueue::isCurrent();
                                    if (response->statusCode() == 200) ++calls;
                                    done.raise();
                                  });
  ASSERT_TRUE(done.wait());
  // The set loses the transaction only after the callback has returned.
  for (int i = 0; i < 500 && client->transactionCount() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(client->transactionCount(), 0u);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onGlobalQueue);
}

TEST_F(WebClient, AsynchronousExpectedStatusMarksTheResponse) {
  server.setHandler(answering(202));
  std::shared_ptr<QVXWebResponse> seen;
  Signal done;
  client->startRequest_expectingResponse_completion(
      QVXWebRequest::requestWithMethod_path("GET", "/x"), 200,
      [&](std::shared_ptr<QVXWebResponse> r) {
        seen = r;
        done.raise();
      });
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(seen->error()->code, -1);
}

TEST_F(WebClient, ManyAsynchronousRequestsEachCallBackOnce) {
  constexpr int kCount = 12;
  std::atomic<int> calls{0};
  Signal all;
  for (int i = 0; i < kCount; ++i) {
    client->startRequest_completion(
        QVXWebRequest::requestWithMethod_path("GET", "/n" + std::to_string(i)),
        [&](std::shared_ptr<QVXWebResponse>) {
          if (++calls == kCount) all.raise();
        });
  }
  ASSERT_TRUE(all.wait());
  EXPECT_EQ(server.requests().size(), static_cast<std::size_t>(kCount));
}

TEST_F(WebClient, ClientDroppedRightAfterAnAsynchronousRequestStillDelivers) {
  Signal done;
  QVXWebClient::initWithURL(server.baseURL())
      ->startRequest_completion(QVXWebRequest::requestWithMethod_path("GET", "/gone"),
                                [&](std::shared_ptr<QVXWebResponse>) { done.raise(); });
  EXPECT_TRUE(done.wait());
}

TEST_F(WebClient, GetPathResolvesAndSendsAGet) {
  std::shared_ptr<QVXWebResponse> seen;
  Signal done;
  client->getPath_completion("/items?x=1", [&](std::shared_ptr<QVXWebResponse> r) {
    seen = r;
    done.raise();
  });
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(received().method, "GET");
  EXPECT_EQ(received().target, "/items?x=1");
  EXPECT_EQ(seen->statusCode(), 200u);
}

TEST_F(WebClient, GetURLSendsToTheAbsoluteURL) {
  Signal done;
  client->getURL_completion(*platform::URL::URLWithString(server.baseURL() + "/abs/p"),
                            [&](std::shared_ptr<QVXWebResponse>) { done.raise(); });
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(received().target, "/abs/p");
}

TEST_F(WebClient, PostFormDataSendsTheFieldsAsMultipart) {
  Signal done;
  client->postFormData_toPath_completion({{"a", "1"}}, "/form",
                                         [&](std::shared_ptr<QVXWebResponse>) { done.raise(); });
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(received().method, "POST");
  EXPECT_EQ(received().header("Content-Type"), "multipart/form-data; boundary=AaB03x");
  EXPECT_EQ(received().body,
            "MIME-Version: 1.0\r\n--AaB03x\r\nContent-Disposition: form-data; name=\"a\"\r\n"
            "Content-Type: text/plain\r\n\r\n1\r\n--AaB03x--\r\n");
}

TEST_F(WebClient, UnresolvablePathEndsWithAnError) {
  std::shared_ptr<QVXWebResponse> seen;
  client->syncStartRequest_completion(QVXWebRequest::requestWithMethod_path("GET", "//bad host/a"),
                                      [&](std::shared_ptr<QVXWebResponse> r) { seen = r; });
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->statusCode(), 0u);
  EXPECT_EQ(seen->error()->domain, "CURLErrorDomain");
  EXPECT_EQ(seen->error()->code, 3);  // malformed URL
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(WebClient, CacheDelegateIsOnlyStored) {
  auto delegate = std::make_shared<QVXPersistenceCacheDelegate>();
  client->setCacheDelegate(delegate);
  EXPECT_EQ(client->cacheDelegate().lock(), delegate);
}

TEST(WebClientClass, EscapeURLStringFollowsTheQueryRule) {
  EXPECT_EQ(QVXWebClient::escapeURLString("a b&c/\xC3\xA9~%"), "a%20b%26c%2F%C3%A9~%25");
}

TEST(WebClientClass, DecodeJSONGivesDictionariesAndLists) {
  EXPECT_EQ(QVXWebClient::decodeJSON(bytes("{\"a\":[1,\"x\"]}")),
            platform::Value::parse("{\"a\":[1,\"x\"]}"));
  EXPECT_EQ(QVXWebClient::decodeJSON(bytes("[true]")), platform::Value::parse("[true]"));
  EXPECT_FALSE(QVXWebClient::decodeJSON(bytes("{broken")).has_value());
  EXPECT_FALSE(QVXWebClient::decodeJSON(bytes("42")).has_value());
  EXPECT_FALSE(QVXWebClient::decodeJSON(bytes("")).has_value());
}

TEST(WebClientDeath, EncodeJSONStopsWithTheAssertionReport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(QVXWebClient::encodeJSON(platform::Value::object()),
               webclienttest::assertionReport("0 && \"encodeJSON: isn't implemented yet\"",
                                              "+[QVXWebClient encodeJSON:]",
                                              "QVXWebClient/QVXWebClient/QVXWebClient", 58));
}

TEST(WebClientDeath, SynchronousStartFromItsOwnCallbackStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LoopbackHTTPServer server;
  EXPECT_DEATH(
      {
        auto client = QVXWebClient::initWithURL(server.baseURL());
        client->syncStartRequest_completion(
            QVXWebRequest::requestWithMethod_path("GET", "/a"),
            [&](std::shared_ptr<QVXWebResponse>) { client->addValue_forHeader("v", "X-H"); });
      },
      "Assertion failure in -\\[SerialQueue sync:\\]");
}

}  // namespace
