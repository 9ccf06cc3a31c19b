#include <gtest/gtest.h>

#include <thread>

#include "QVXWebClient/QVXWebClient/QVXWebClientTransaction.h"
#include "platform/Format.h"
#include "platform/GlobalQueue.h"
#include "platform/propertylists/PropertyList.h"
#include "platform/urlloading/HTTPTransportExchange.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using testsupport::LoopbackHTTPServer;
using testsupport::Reply;
using webclienttest::bytes;
using webclienttest::Signal;
using webclienttest::text;

// A GET request for the server's path, its URL already set.
std::shared_ptr<QVXWebRequest> getRequest(const std::string& baseURL, const std::string& path) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", path);
  request->setURL(platform::URL::URLWithString(baseURL + path));
  return request;
}

// Replies with the content type and body.
std::function<Reply(const testsupport::ReceivedRequest&)> answering(std::string contentType,
                                                                    std::string body,
                                                                    int status = 200) {
  return [=](const testsupport::ReceivedRequest&) {
    Reply reply;
    reply.status = status;
    reply.contentType = contentType;
    reply.body = body;
    return reply;
  };
}

// Runs the transaction the asynchronous way and waits for its one callback.
std::shared_ptr<QVXWebResponse> runAsync(std::shared_ptr<QVXWebRequest> request,
                                         int* calls = nullptr) {
  auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
  std::shared_ptr<QVXWebResponse> seen;
  Signal done;
  std::mutex mutex;
  int count = 0;
  transaction->startWithCompletionHandler([&](std::shared_ptr<QVXWebResponse> response) {
    std::lock_guard lock(mutex);
    seen = response;
    ++count;
    done.raise();
  });
  EXPECT_TRUE(done.wait());
  std::lock_guard lock(mutex);
  if (calls) *calls = count;
  return seen;
}

// Runs the transaction the synchronous way.
std::shared_ptr<QVXWebResponse> runSync(std::shared_ptr<QVXWebRequest> request) {
  auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
  std::shared_ptr<QVXWebResponse> seen;
  transaction->syncStartWithCompletionHandler(
      [&](std::shared_ptr<QVXWebResponse> response) { seen = response; });
  EXPECT_FALSE(static_cast<bool>(transaction->completionHandler()));
  return seen;
}

class WebTransaction : public ::testing::Test {
 protected:
  LoopbackHTTPServer server;
};

TEST_F(WebTransaction, SynchronousExchangeFillsTheResponse) {
  server.setHandler(answering("text/plain", "hello"));
  auto response = runSync(getRequest(server.baseURL(), "/s"));
  EXPECT_EQ(response->statusCode(), 200u);
  EXPECT_EQ(response->requestURL()->absoluteString(), server.baseURL() + "/s");
  EXPECT_EQ(response->body(), platform::Value::binary(bytes("hello")));
  EXPECT_EQ(platform::headerFieldValue(*response->responseHeaders(), "content-type"), "text/plain");
  EXPECT_FALSE(response->error().has_value());
}

TEST_F(WebTransaction, SynchronousExchangeKeepsJSONAsRawBytes) {
  server.setHandler(answering("application/json", "{\"a\":1}"));
  auto response = runSync(getRequest(server.baseURL(), "/j"));
  EXPECT_EQ(response->body(), platform::Value::binary(bytes("{\"a\":1}")));
}

TEST_F(WebTransaction, AsynchronousExchangeCallsBackOnceWithEveryByteInOrder) {
  std::string big;
  for (std::size_t i = 0; i < platform::kKeptResponseBodyLimit; ++i)
    big += static_cast<char>('a' + i % 26);
  server.setHandler(answering("application/octet-stream", big, 201));
  int calls = 0;
  auto response = runAsync(getRequest(server.baseURL(), "/big"), &calls);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(response->statusCode(), 201u);
  EXPECT_TRUE(text(response->responseData()) == big);
  ASSERT_TRUE(response->body().has_value());
  EXPECT_TRUE(*response->body() == platform::Value::binary(response->responseData()));
}

TEST_F(WebTransaction, BodyOverTheLimitIsDroppedBothWays) {
  // A property-list type too: bytes that are not kept are never parsed.
  server.setHandler(answering("application/x-plist",
                              std::string(platform::kKeptResponseBodyLimit + 1, 'x'), 201));
  for (auto response : {runAsync(getRequest(server.baseURL(), "/over")),
                        runSync(getRequest(server.baseURL(), "/over"))}) {
    EXPECT_EQ(response->statusCode(), 201u);
    EXPECT_FALSE(response->error().has_value()) << platform::format("%@", response->error());
    EXPECT_TRUE(response->wasSuccessful());
    EXPECT_TRUE(response->responseData().empty());
    EXPECT_FALSE(response->body().has_value());
    EXPECT_TRUE(response->responseHeaders().has_value());
  }
}

TEST_F(WebTransaction, RawBodyIsHeldOnceBothWays) {
  server.setHandler(answering("application/octet-stream", std::string(300000, 'r')));
  for (auto response : {runAsync(getRequest(server.baseURL(), "/raw")),
                        runSync(getRequest(server.baseURL(), "/raw"))}) {
    ASSERT_TRUE(response->body().has_value());
    const platform::Bytes* inBody = platform::bytesOf(*response->body());
    ASSERT_NE(inBody, nullptr);
    EXPECT_EQ(inBody->size(), 300000u);
    // The same bytes, not a copy of them.
    EXPECT_EQ(inBody->data(), response->responseData().data());
  }
}

TEST_F(WebTransaction, CallbackRunsOnTheTransactionQueue) {
  std::thread::id callbackThread;
  bool onGlobalQueue = true;
  Signal done;
  auto transaction =
      QVXWebClientTransaction::transactionWithRequest(getRequest(server.baseURL(), "/q"));
  transaction->startWithCompletionHandler([&](std::shared_ptr<QVXWebResponse>) {
    callbackThread = std::this_thread::get_id();
    onGlobalQueue = platform::GlobalQueue::isCurrent();
    done.raise();
  });
  ASSERT_TRUE(done.wait());
  EXPECT_NE(callbackThread, std::this_thread::get_id());
  EXPECT_FALSE(onGlobalQueue);
}

TEST_F(WebTransaction, JSONWithCharsetIsDecoded) {
  server.setHandler(answering("application/json; charset=utf-8", "{\"a\":[1,2]}"));
  auto response = runAsync(getRequest(server.baseURL(), "/j"));
  EXPECT_EQ(response->body(), platform::Value::parse("{\"a\":[1,2]}"));
}

TEST_F(WebTransaction, JSONInCapitalLettersStaysRawBytes) {
  server.setHandler(answering("APPLICATION/JSON", "{\"a\":1}"));
  auto response = runAsync(getRequest(server.baseURL(), "/j"));
  EXPECT_EQ(response->body(), platform::Value::binary(bytes("{\"a\":1}")));
}

TEST_F(WebTransaction, JSONWithoutBytesHasNoBody) {
  server.setHandler(answering("application/json", ""));
  auto response = runAsync(getRequest(server.baseURL(), "/j"));
  EXPECT_EQ(response->statusCode(), 200u);
  EXPECT_FALSE(response->body().has_value());
}

TEST_F(WebTransaction, UnparsableJSONLeavesBodyAbsentWithoutError) {
  server.setHandler(answering("application/json", "{not json"));
  auto response = runAsync(getRequest(server.baseURL(), "/j"));
  EXPECT_FALSE(response->body().has_value());
  EXPECT_FALSE(response->error().has_value());
}

TEST_F(WebTransaction, PropertyListIsDecoded) {
  platform::Value dictionary = {{"name", "run"}, {"count", 3}};
  server.setHandler(answering("application/x-plist", platform::xmlPropertyList(dictionary)));
  auto response = runAsync(getRequest(server.baseURL(), "/p"));
  EXPECT_EQ(response->body(), dictionary);
  EXPECT_FALSE(response->error().has_value());
}

TEST_F(WebTransaction, PropertyListWinsOverJSONInOneValue) {
  server.setHandler(
      answering("application/x-plist; application/json", platform::xmlPropertyList({{"k", 1}})));
  auto response = runAsync(getRequest(server.baseURL(), "/p"));
  EXPECT_EQ(response->body(), platform::Value({{"k", 1}}));
}

TEST_F(WebTransaction, UnparsablePropertyListSetsTheParseError) {
  server.setHandler(answering("application/x-plist", "definitely not a plist"));
  auto response = runAsync(getRequest(server.baseURL(), "/p"));
  EXPECT_FALSE(response->body().has_value());
  ASSERT_TRUE(response->error().has_value());
  EXPECT_NE(response->error()->domain, "CURLErrorDomain");
}

TEST_F(WebTransaction, PropertyListParseErrorNeverReplacesATransportError) {
  server.setHandler(answering("application/x-plist", "<?xml"));
  auto transaction =
      QVXWebClientTransaction::transactionWithRequest(getRequest(server.baseURL(), "/p"));
  auto connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
      platform::MutableURLRequest(), nullptr, false);
  Signal done;
  std::shared_ptr<QVXWebResponse> seen;
  transaction->setCompletionHandler([&](std::shared_ptr<QVXWebResponse> response) {
    seen = response;
    done.raise();
  });
  platform::URLResponse head{platform::URL::URLWithString(server.baseURL()),
                             true,
                             200,
                             {{"Content-Type", "application/x-plist"}}};
  transaction->connection_didReceiveResponse(*connection, head);
  transaction->connection_didReceiveData(*connection, bytes("<?xml broken"));
  transaction->connection_didFailWithError(*connection,
                                           platform::Error{"CURLErrorDomain", 28, "timed out"});
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(seen->error()->code, 28);
  EXPECT_FALSE(seen->body().has_value());
}

TEST_F(WebTransaction, ResponseThatIsNotHTTPChangesNothing) {
  auto transaction =
      QVXWebClientTransaction::transactionWithRequest(getRequest(server.baseURL(), "/n"));
  auto connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
      platform::MutableURLRequest(), nullptr, false);
  Signal done;
  std::shared_ptr<QVXWebResponse> seen;
  transaction->setCompletionHandler([&](std::shared_ptr<QVXWebResponse> response) {
    seen = response;
    done.raise();
  });
  platform::URLResponse notHTTP{std::nullopt, false, 200, {{"Content-Type", "application/json"}}};
  transaction->connection_didReceiveResponse(*connection, notHTTP);
  transaction->connection_didReceiveData(*connection, bytes("{}"));
  transaction->connectionDidFinishLoading(*connection);
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(seen->statusCode(), 0u);
  EXPECT_EQ(seen->body(), platform::Value::binary(bytes("{}")));
}

TEST_F(WebTransaction, TransportFailureBeforeAnyHeadGivesStatusZero) {
  testsupport::RefusingPort refusing;
  std::string base = "http://127.0.0.1:" + std::to_string(refusing.port());
  int calls = 0;
  auto response = runAsync(getRequest(base, "/x"), &calls);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(response->statusCode(), 0u);
  EXPECT_FALSE(response->body().has_value());
  ASSERT_TRUE(response->error().has_value());
  EXPECT_EQ(response->error()->domain, "CURLErrorDomain");
  EXPECT_EQ(response->error()->code, 7);  // couldn't connect
}

TEST_F(WebTransaction, PasswordChallengeCancelsWithCodeMinusTwo) {
  server.setHandler([](const testsupport::ReceivedRequest&) {
    Reply reply;
    reply.status = 401;
    reply.headers = {{"WWW-Authenticate", "Basic realm=\"staff\""}};
    reply.body = "who are you?";
    return reply;
  });
  int calls = 0;
  auto response = runAsync(getRequest(server.baseURL(), "/secret"), &calls);
  EXPECT_EQ(calls, 1);
  ASSERT_TRUE(response->error().has_value());
  EXPECT_EQ(response->error()->domain, "QVXWebClientErrorDomain");
  EXPECT_EQ(response->error()->code, -2);
  EXPECT_EQ(response->statusCode(), 0u);
  EXPECT_TRUE(response->responseData().empty());
}

TEST_F(WebTransaction, ServerTrustQuestionGoesToTheProtectionSpaceHandler) {
  auto request = getRequest("https://127.0.0.1:1", "/t");
  auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
  auto connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
      platform::MutableURLRequest(), nullptr, false);
  platform::ProtectionSpace space;
  space.host = "127.0.0.1";
  space.authenticationMethod = platform::kAuthenticationMethodServerTrust;
  space.serverTrust = platform::ServerTrust{"127.0.0.1", 1};
  EXPECT_FALSE(transaction->connection_canAuthenticateAgainstProtectionSpace(*connection, space));
  std::string askedHost;
  request->setProtectionSpaceHandler([&](const platform::ProtectionSpace& asked) {
    askedHost = asked.host;
    return true;
  });
  EXPECT_TRUE(transaction->connection_canAuthenticateAgainstProtectionSpace(*connection, space));
  EXPECT_EQ(askedHost, "127.0.0.1");
}

class WebTransactionDeath : public WebTransaction {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(WebTransactionDeath, SecondAsynchronousStartStops) {
  auto request = getRequest(server.baseURL(), "/twice");
  EXPECT_DEATH(
      {
        auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
        transaction->startWithCompletionHandler([](std::shared_ptr<QVXWebResponse>) {});
        transaction->startWithCompletionHandler([](std::shared_ptr<QVXWebResponse>) {});
        std::this_thread::sleep_for(std::chrono::seconds(20));
      },
      webclienttest::assertionReport("_connection == nil",
                                     "-[QVXWebClientTransaction startConnection]",
                                     "QVXWebClient/QVXWebClient/QVXWebClientTransaction", 88));
}

TEST_F(WebTransactionDeath, SynchronousStartAfterAStartStops) {
  auto request = getRequest(server.baseURL(), "/twice");
  EXPECT_DEATH(
      {
        auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
        transaction->syncStartWithCompletionHandler([](std::shared_ptr<QVXWebResponse>) {});
        transaction->syncStartWithCompletionHandler([](std::shared_ptr<QVXWebResponse>) {});
      },
      webclienttest::assertionReport("!_connection",
                                     "-[QVXWebClientTransaction syncStartWithCompletionHandler:]",
                                     "QVXWebClient/QVXWebClient/QVXWebClientTransaction", 155));
}

TEST_F(WebTransactionDeath, SecondCompletionStops) {
  auto request = getRequest(server.baseURL(), "/done");
  EXPECT_DEATH(
      {
        auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
        transaction->syncStartWithCompletionHandler([](std::shared_ptr<QVXWebResponse>) {});
        transaction->complete();
      },
      webclienttest::assertionReport("_completionHandler", "-[QVXWebClientTransaction complete]",
                                     "QVXWebClient/QVXWebClient/QVXWebClientTransaction", 192));
}

TEST_F(WebTransactionDeath, FailureWithoutErrorStops) {
  auto request = getRequest(server.baseURL(), "/f");
  EXPECT_DEATH(
      {
        auto transaction = QVXWebClientTransaction::transactionWithRequest(request);
        auto connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
            platform::MutableURLRequest(), nullptr, false);
        transaction->connection_didFailWithError(*connection, std::nullopt);
      },
      webclienttest::assertionReport("error",
                                     "-[QVXWebClientTransaction connection:didFailWithError:]",
                                     "QVXWebClient/QVXWebClient/QVXWebClientTransaction", 239));
}

}  // namespace
