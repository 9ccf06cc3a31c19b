#include <gtest/gtest.h>

#include "QVXWebClient/QVXWebClient/QVXWebResponse.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using webclienttest::bytes;

std::shared_ptr<QVXWebResponse> withStatus(std::uint64_t status) {
  auto response = QVXWebResponse::init();
  response->setStatusCode(status);
  return response;
}

TEST(WebResponse, FreshResponseIsEmptyAndUnsuccessful) {
  auto response = QVXWebResponse::init();
  EXPECT_EQ(response->statusCode(), 0u);
  EXPECT_TRUE(response->responseData().empty());
  EXPECT_FALSE(response->body().has_value());
  EXPECT_FALSE(response->error().has_value());
  EXPECT_FALSE(response->requestURL().has_value());
  EXPECT_FALSE(response->responseHeaders().has_value());
  EXPECT_FALSE(response->wasSuccessful());
}

TEST(WebResponse, SuccessIsTwoHundredToTwoNinetyNineWithoutError) {
  EXPECT_TRUE(withStatus(200)->wasSuccessful());
  EXPECT_TRUE(withStatus(299)->wasSuccessful());
  EXPECT_FALSE(withStatus(199)->wasSuccessful());
  EXPECT_FALSE(withStatus(300)->wasSuccessful());
  EXPECT_FALSE(withStatus(0)->wasSuccessful());
  auto failed = withStatus(204);
  failed->setError(platform::Error::withDomain("CURLErrorDomain", 7));
  EXPECT_FALSE(failed->wasSuccessful());
}

TEST(WebResponse, AppendDataKeepsChunksInOrder) {
  auto response = QVXWebResponse::init();
  response->appendData(bytes("ab"));
  response->appendData(bytes("cd"));
  EXPECT_EQ(response->responseData(), bytes("abcd"));
}

TEST(WebResponse, BodyMadeOfTheDataHoldsTheSameBytes) {
  auto response = QVXWebResponse::init();
  response->appendData(bytes("raw"));
  response->setBodyToResponseData();
  ASSERT_TRUE(response->body().has_value());
  EXPECT_EQ(*response->body(), platform::Value::binary(bytes("raw")));
  EXPECT_EQ(response->responseData(), bytes("raw"));
  EXPECT_EQ(platform::bytesOf(*response->body())->data(), response->responseData().data());
}

TEST(WebResponse, DataAppendedAfterTheBodyWasMadeLeavesTheBody) {
  auto response = QVXWebResponse::init();
  response->appendData(bytes("ab"));
  response->setBodyToResponseData();
  response->appendData(bytes("cd"));
  EXPECT_EQ(response->responseData(), bytes("abcd"));
  EXPECT_EQ(*response->body(), platform::Value::binary(bytes("ab")));
}

TEST(WebResponse, NewBodyKeepsTheData) {
  auto response = QVXWebResponse::init();
  response->appendData(bytes("ab"));
  response->setBodyToResponseData();
  response->setBody(platform::Value("text"));
  EXPECT_EQ(response->responseData(), bytes("ab"));
  EXPECT_EQ(*response->body(), platform::Value("text"));
  response->setBody(std::nullopt);
  EXPECT_EQ(response->responseData(), bytes("ab"));
}

TEST(WebResponse, DescriptionPrintsEveryField) {
  auto response = QVXWebResponse::init();
  response->setRequestURL(platform::URL::URLWithString("http://127.0.0.1:8/a"));
  response->setStatusCode(404);
  response->setBody(platform::Value("gone"));
  response->setError(platform::Error::withDomain("QVXWebClientErrorDomain", -1));
  response->setResponseHeaders(platform::HeaderFields{{"Server", "x"}});
  EXPECT_EQ(response->description(),
            "{request: http://127.0.0.1:8/a, status: 404, body: gone, error: Error "
            "Domain=QVXWebClientErrorDomain Code=-1 \"The operation couldn\u2019t be completed. "
            "(QVXWebClientErrorDomain error -1.)\", headers: {\n    Server = x;\n}}");
}

TEST(WebResponse, DescriptionPrintsAbsentFieldsAsNull) {
  EXPECT_EQ(QVXWebResponse::init()->description(),
            "{request: (null), status: 0, body: (null), error: (null), headers: (null)}");
}

}  // namespace
