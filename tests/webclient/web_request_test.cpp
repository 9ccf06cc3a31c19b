#include <gtest/gtest.h>

#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"
#include "tests/support/TestSupport.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using webclienttest::bytes;
using webclienttest::sendSync;
using webclienttest::text;

std::shared_ptr<QVXWebRequest> post(const std::string& path = "/upload") {
  return QVXWebRequest::requestWithMethod_path("POST", path);
}

const char* kContentType = "multipart/form-data; boundary=AaB03x";

class WebRequestForm : public ::testing::Test {
 protected:
  testsupport::LoopbackHTTPServer server;

  // The body the server received for the request.
  std::string bodyReceived(std::shared_ptr<QVXWebRequest> request) {
    auto response = sendSync(server.baseURL(), request);
    EXPECT_EQ(response->statusCode(), 200u);
    auto requests = server.requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? "" : requests.back().body;
  }
};

TEST_F(WebRequestForm, ExampleBodyArrivesByteForByte) {
  std::string zip("PK\x03\x04\0\x01\r\n--AaB03y\xff", 16);
  auto request = post();
  request->addValue_forFormField("dsym", "code_mapping[type]");
  request->addData_MIMEType_fileName_forFormField(bytes(zip), "application/zip", "N.zip",
                                                  "code_mapping[file]");
  std::string expected =
      "MIME-Version: 1.0\r\n"
      "--AaB03x\r\n"
      "Content-Disposition: form-data; name=\"code_mapping[type]\"\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "dsym\r\n"
      "--AaB03x\r\n"
      "Content-Disposition: form-data; name=\"code_mapping[file]\"; filename=\"N.zip\"\r\n"
      "Content-Type: application/zip\r\n"
      "Content-Transfer-Encoding: binary\r\n"
      "\r\n" +
      zip +
      "\r\n"
      "--AaB03x--\r\n";
  EXPECT_EQ(bodyReceived(request), expected);
  EXPECT_EQ(server.requests().back().header("Content-Type"), kContentType);
  EXPECT_EQ(text(*request->formData()), expected);
}

namespace {

const std::string kInjected =
    "1.0\r\n--AaB03x\r\nContent-Disposition: form-data; name=\"project[identifier]\"\r\n\r\nx";

struct DelimiterRow {
  const char* name;
  std::string value, field, fileName, data;
};

const DelimiterRow kDelimiterRows[] = {
    {"TextValue", kInjected, "v", "f.zip", "PK"},
    {"FieldName", "1.0", kInjected, "f.zip", "PK"},
    {"FileName", "1.0", "v", kInjected, "PK"},
    {"FileBytes", "1.0", "v", "f.zip", "PK\x03\x04" + kInjected},
};

}  // namespace

class FormDelimiter : public ::testing::TestWithParam<DelimiterRow> {};

// Whatever a value holds, the body has exactly the parts the request means.
TEST_P(FormDelimiter, PartThatHoldsItGetsABoundaryNoPartHolds) {
  const DelimiterRow& row = GetParam();
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f.zip", row.data);
  auto request = post();
  request->addValue_forFormField(row.value, row.field);
  request->addFileData_MIMEType_fileName_forFormField(dir / "f.zip", "application/zip",
                                                      row.fileName, "file");
  const std::string body = text(*request->formData());
  const std::string type = request->customHeaders().at("Content-Type");
  const std::string boundary = type.substr(type.find('=') + 1);
  EXPECT_NE(boundary, "AaB03x");
  EXPECT_EQ(testsupport::countOf(body, "--" + boundary), 3u);
  EXPECT_NE(body.find("\r\n\r\n" + row.value + "\r\n--" + boundary + "\r\n"), std::string::npos);
  EXPECT_NE(body.find("\r\n\r\n" + row.data + "\r\n--" + boundary + "--\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, FormDelimiter, ::testing::ValuesIn(kDelimiterRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(WebRequestForm, NumberRecordGivesOnlyTheFrame) {
  auto request = post();
  request->addFormRecord({{"field", "n"}, {"value", 42}, {"mime-type", "text/plain"}});
  EXPECT_EQ(bodyReceived(request), "MIME-Version: 1.0\r\n--AaB03x--\r\n");
  EXPECT_EQ(server.requests().back().header("Content-Type"), kContentType);
}

TEST_F(WebRequestForm, EmptyTextGivesTwoEmptyLines) {
  auto request = post();
  request->addValue_forFormField("", "empty");
  EXPECT_EQ(bodyReceived(request),
            "MIME-Version: 1.0\r\n--AaB03x\r\nContent-Disposition: form-data; name=\"empty\"\r\n"
            "Content-Type: text/plain\r\n\r\n\r\n--AaB03x--\r\n");
}

TEST_F(WebRequestForm, DataWithoutMIMETypeIsOctetStreamWithItsFileName) {
  auto request = post();
  request->addData_MIMEType_fileName_forFormField(bytes("xyz"), std::nullopt, "f.bin", "blob");
  EXPECT_EQ(bodyReceived(request),
            "MIME-Version: 1.0\r\n--AaB03x\r\n"
            "Content-Disposition: form-data; name=\"blob\"; filename=\"f.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\nxyz\r\n--AaB03x--\r\n");
  EXPECT_FALSE(request->formFields()->at(0).contains("mime-type"));
}

TEST_F(WebRequestForm, SetFormDataTwiceAppendsBothSets) {
  auto request = post();
  request->setFormData({{"a", "1"}});
  request->setFormData({{"b", "2"}});
  EXPECT_EQ(bodyReceived(request),
            "MIME-Version: 1.0\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"a\"\r\n"
            "Content-Type: text/plain\r\n\r\n1\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"b\"\r\n"
            "Content-Type: text/plain\r\n\r\n2\r\n"
            "--AaB03x--\r\n");
}

TEST_F(WebRequestForm, AddHeadersKeepsTheRequestsOwnValue) {
  auto request = post();
  request->addValue_forHTTPHeaderField("mine", "X-Kind");
  request->addHeaders({{"X-Kind", "default"}, {"X-Other", "added"}});
  request->addValue_forFormField("v", "f");
  bodyReceived(request);
  EXPECT_EQ(server.requests().back().header("X-Kind"), "mine");
  EXPECT_EQ(server.requests().back().header("X-Other"), "added");
}

TEST_F(WebRequestForm, FileRecordSendsTheSameBytesAsInMemoryData) {
  testsupport::TempDir dir;
  std::string contents;
  for (int i = 0; i < 200000; ++i) contents += static_cast<char>(i * 7 % 251);
  testsupport::writeFile(dir / "archive.zip", contents);
  auto fromFile = post();
  fromFile->addValue_forFormField("dsym", "code_mapping[type]");
  fromFile->addFileData_MIMEType_fileName_forFormField(dir / "archive.zip", "application/zip",
                                                       "archive.zip", "code_mapping[file]");
  auto inMemory = post();
  inMemory->addValue_forFormField("dsym", "code_mapping[type]");
  inMemory->addData_MIMEType_fileName_forFormField(bytes(contents), "application/zip",
                                                   "archive.zip", "code_mapping[file]");
  std::string expected = text(*inMemory->formData());
  EXPECT_EQ(text(*fromFile->formData()), expected);
  EXPECT_EQ(bodyReceived(fromFile), expected);
  EXPECT_EQ(server.requests().back().header("Content-Length"), std::to_string(expected.size()));
}

TEST(WebRequest, WithoutRecordsThereIsNoBodyAndNoContentType) {
  auto request = post();
  EXPECT_FALSE(request->formData().has_value());
  EXPECT_TRUE(request->customHeaders().empty());
  request->setURL(platform::URL::URLWithString("http://127.0.0.1/x"));
  EXPECT_EQ(request->URLRequest().HTTPBody(), nullptr);
}

TEST(WebRequest, FormDataStoresTheMultipartContentTypeOverAnEarlierOne) {
  auto request = post();
  request->addValue_forHTTPHeaderField("text/plain", "Content-Type");
  request->addValue_forFormField("v", "f");
  request->formData();
  EXPECT_EQ(request->customHeaders().at("Content-Type"), kContentType);
}

TEST(WebRequest, FormDataTwiceGivesTheSameBytes) {
  auto request = post();
  request->addValue_forFormField("v", "f");
  EXPECT_EQ(request->formData(), request->formData());
}

TEST(WebRequest, AbsentValueAddsAnEmptyRecordWithoutPart) {
  auto request = post();
  request->addValue_forFormField(std::optional<std::string>(), "missing");
  ASSERT_TRUE(request->formFields().has_value());
  EXPECT_TRUE(request->formFields()->at(0).empty());
  EXPECT_EQ(text(*request->formData()), "MIME-Version: 1.0\r\n--AaB03x--\r\n");
}

TEST(WebRequest, TextRecordHoldsValueFieldAndPlainText) {
  auto request = post();
  request->addValue_forFormField("dsym", "code_mapping[type]");
  EXPECT_EQ(request->formFields()->at(0),
            platform::Value(
                {{"value", "dsym"}, {"field", "code_mapping[type]"}, {"mime-type", "text/plain"}}));
}

TEST(WebRequest, DictionaryFieldNamesGetBrackets) {
  auto request = post();
  request->addValueForFormFromDict({{"k", "v"}});
  request->addValueForFormFromDict_withPrefix({{"name", "n"}, {"nested", {{"x", "y"}}}}, "user");
  const platform::Value& fields = *request->formFields();
  EXPECT_EQ(fields[0]["field"], "[k]");
  EXPECT_EQ(fields[1]["field"], "user[name]");
  EXPECT_EQ(fields[2]["field"], "user[nested]");
  EXPECT_EQ(text(*request->formData()),
            "MIME-Version: 1.0\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"[k]\"\r\n"
            "Content-Type: text/plain\r\n\r\nv\r\n"
            "--AaB03x\r\nContent-Disposition: form-data; name=\"user[name]\"\r\n"
            "Content-Type: text/plain\r\n\r\nn\r\n"
            "--AaB03x--\r\n");
}

TEST(WebRequest, SecondHeaderValueReplacesTheFirst) {
  auto request = post();
  request->addValue_forHTTPHeaderField("1", "X-A");
  request->addValue_forHTTPHeaderField("2", "X-A");
  EXPECT_EQ(request->customHeaders().at("X-A"), "2");
}

TEST(WebRequest, CreationLeavesURLParametersAndFormsAbsent) {
  auto request = QVXWebRequest::initWithMethod("GET");
  EXPECT_EQ(request->method(), "GET");
  EXPECT_FALSE(request->path().has_value());
  EXPECT_FALSE(request->URL().has_value());
  EXPECT_FALSE(request->parameters().has_value());
  EXPECT_FALSE(request->formFields().has_value());
  EXPECT_FALSE(static_cast<bool>(request->protectionSpaceHandler()));
}

TEST(WebRequestURL, WithoutParametersHasNoQuestionMark) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/a");
  request->setURL(platform::URL::URLWithString("http://127.0.0.1:8/a/b"));
  EXPECT_EQ(request->fullURL()->absoluteString(), "http://127.0.0.1:8/a/b");
  request->setParameters(QVXWebRequest::TextMap{});
  EXPECT_EQ(request->fullURL()->absoluteString(), "http://127.0.0.1:8/a/b");
}

TEST(WebRequestURL, ParametersAreEscapedByTheQueryRule) {
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/a");
  request->setURL(platform::URL::URLWithString("http://127.0.0.1:8/a"));
  request->setParameters(QVXWebRequest::TextMap{{"q", "a b&c"}});
  EXPECT_EQ(request->fullURL()->absoluteString(), "http://127.0.0.1:8/a?q=a%20b%26c");
  request->setParameters(QVXWebRequest::TextMap{{"e", "\xC3\xA9"}, {"p", "100%"}, {"t", "~x"}});
  EXPECT_EQ(request->fullURL()->absoluteString(), "http://127.0.0.1:8/a?e=%C3%A9&p=100%25&t=~x");
}

TEST(WebRequestURL, TheServerSeesTheEscapedQuery) {
  testsupport::LoopbackHTTPServer server;
  auto request = QVXWebRequest::requestWithMethod_path("GET", "/search");
  request->setParameters(QVXWebRequest::TextMap{{"q", "a b&c"}, {"w", "\xC3\xA9~%"}});
  sendSync(server.baseURL(), request);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target, "/search?q=a%20b%26c&w=%C3%A9~%25");
}

TEST(WebRequestURL, URLRequestCarriesMethodHeadersBodyAndTimeOut) {
  auto request = QVXWebRequest::requestWithMethod_path("PUT", "/p");
  request->setURL(platform::URL::URLWithString("http://127.0.0.1:9/p"));
  request->addValue_forHTTPHeaderField("v", "X-H");
  request->addValue_forFormField("1", "a");
  platform::MutableURLRequest record = request->URLRequest();
  EXPECT_EQ(record.url()->absoluteString(), "http://127.0.0.1:9/p");
  EXPECT_EQ(record.HTTPMethod(), "PUT");
  EXPECT_EQ(record.timeoutInterval(), 15.0);
  EXPECT_EQ(record.cachePolicy(), platform::kURLRequestReloadIgnoringLocalCacheData);
  EXPECT_EQ(record.valueForHTTPHeaderField("X-H"), "v");
  EXPECT_EQ(record.valueForHTTPHeaderField("Content-Type"), kContentType);
  EXPECT_EQ(record.HTTPBody()->readAll(), request->formData());
}

class WebRequestDeath : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(WebRequestDeath, MissingPathStopsWithTheAssertionReport) {
  EXPECT_DEATH(QVXWebRequest::requestWithMethod_path("GET", std::nullopt),
               webclienttest::assertionReport("path", "+[QVXWebRequest requestWithMethod:path:]",
                                              "QVXWebClient/QVXWebClient/QVXWebRequest", 17));
}

TEST_F(WebRequestDeath, MissingMethodStopsWithTheAssertionReport) {
  EXPECT_DEATH(QVXWebRequest::initWithMethod(std::nullopt),
               webclienttest::assertionReport("method", "-[QVXWebRequest initWithMethod:]",
                                              "QVXWebClient/QVXWebClient/QVXWebRequest", 36));
}

}  // namespace
