#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"

#include <algorithm>

#include "platform/Assert.h"
#include "platform/Format.h"
#include "platform/RandomUUID.h"
#include "platform/files/FileSearch.h"
#include "platform/urlloading/PercentEscape.h"

namespace {

constexpr const char* kSourceFile = "QVXWebClient/QVXWebClient/QVXWebRequest";
const std::string kBoundary = "AaB03x";

bool textHolds(const platform::Value& record, const char* key, const std::string& needle) {
  const std::string* text = platform::textForKey(record, key);
  return text && text->find(needle) != std::string::npos;
}

// Whether the text could end a part early: the record's name, text value,
// file name or bytes (in memory or in its file) hold it.
bool recordHolds(const platform::Value& record, const std::string& needle) {
  if (!record.is_object()) return false;
  if (textHolds(record, "field", needle) || textHolds(record, "value", needle) ||
      textHolds(record, "filename", needle))
    return true;
  auto value = record.find("value");
  if (value != record.end() && value->is_binary()) {
    const auto& bytes = value->get_binary();
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
  }
  const std::string* filePath = platform::textForKey(record, "file-path");
  return filePath && platform::fileHolds(*filePath, needle);
}

// The boundary of the records' body: "AaB03x", unless a part holds its
// delimiter and would close itself and open parts of its own (a value read
// from a file, a name in a zip): then one made anew that no part holds.
std::string boundaryFor(const platform::Value& records) {
  std::string boundary = kBoundary;
  const auto anyHolds = [&](const std::string& delimiter) {
    return std::any_of(records.begin(), records.end(), [&](const platform::Value& record) {
      return recordHolds(record, delimiter);
    });
  };
  while (anyHolds("--" + boundary)) boundary = kBoundary + platform::newUUIDString();
  return boundary;
}

// Appends one record's part to the body; records of other kinds give nothing.
void appendPart(platform::RequestBody& body, const platform::Value& record,
                const std::string& boundary) {
  if (!record.is_object()) return;
  const std::string* field = platform::textForKey(record, "field");
  std::string name = field ? *field : "(null)";
  auto value = record.find("value");
  const std::string* filePath = platform::textForKey(record, "file-path");
  if (value != record.end() && value->is_string()) {
    body.appendText(platform::format("--%@\r\nContent-Disposition: form-data; name=\"%@\"\r\n",
                                     boundary, name));
    body.appendText("Content-Type: text/plain\r\n\r\n");
    body.appendText(platform::format("%@\r\n", value->get<std::string>()));
    return;
  }
  bool inMemory = value != record.end() && value->is_binary();
  if (!inMemory && !(value == record.end() && filePath)) return;
  const std::string* fileName = platform::textForKey(record, "filename");
  body.appendText(
      platform::format("--%@\r\nContent-Disposition: form-data; name=\"%@\"; filename=\"%@\"\r\n",
                       boundary, name, fileName ? *fileName : std::string("(null)")));
  if (const std::string* mimeType = platform::textForKey(record, "mime-type")) {
    body.appendText(platform::format("Content-Type: %@\r\n", *mimeType));
    body.appendText("Content-Transfer-Encoding: binary\r\n\r\n");
  } else {
    body.appendText("Content-Type: application/octet-stream\r\n\r\n");
  }
  if (inMemory) {
    body.appendBytes(*platform::bytesOf(*value));
  } else {
    body.appendFile(*filePath);
  }
  body.appendText("\r\n");
}

}  // namespace

std::shared_ptr<QVXWebRequest> QVXWebRequest::requestWithMethod_path(
    std::optional<std::string> method, std::optional<std::string> path) {
  QVX_ASSERT(path.has_value(), "path", "+[QVXWebRequest requestWithMethod:path:]", kSourceFile, 17);
  std::shared_ptr<QVXWebRequest> request = initWithMethod(std::move(method));
  request->setPath(std::move(path));
  return request;
}

std::shared_ptr<QVXWebRequest> QVXWebRequest::initWithMethod(std::optional<std::string> method) {
  QVX_ASSERT(method.has_value(), "method", "-[QVXWebRequest initWithMethod:]", kSourceFile, 36);
  return std::shared_ptr<QVXWebRequest>(new QVXWebRequest(std::move(*method)));
}

void QVXWebRequest::addValue_forHTTPHeaderField(const std::string& value,
                                                const std::string& field) {
  _customHeaders[field] = value;
}

void QVXWebRequest::addHeaders(const TextMap& headers) {
  for (const auto& [name, value] : headers) _customHeaders.try_emplace(name, value);
}

void QVXWebRequest::addFormRecord(platform::Value record) {
  if (!_formFields) _formFields = platform::Value::array();
  _formFields->push_back(std::move(record));
}

void QVXWebRequest::addValue_forFormField(const platform::Value& value, const std::string& field) {
  platform::Value record = platform::Value::object();
  if (!value.is_null()) {
    record["value"] = value;
    record["field"] = field;
    record["mime-type"] = "text/plain";
  }
  addFormRecord(std::move(record));
}

void QVXWebRequest::addValue_forFormField(const std::optional<std::string>& value,
                                          const std::string& field) {
  addValue_forFormField(value ? platform::Value(*value) : platform::Value(), field);
}

void QVXWebRequest::addValue_forFormField(const std::string& value, const std::string& field) {
  addValue_forFormField(platform::Value(value), field);
}

void QVXWebRequest::addValue_forFormField(const char* value, const std::string& field) {
  addValue_forFormField(value ? platform::Value(value) : platform::Value(), field);
}

void QVXWebRequest::addData_MIMEType_fileName_forFormField(
    const platform::Bytes& data, const std::optional<std::string>& MIMEType,
    const std::string& fileName, const std::string& field) {
  platform::Value record = platform::Value::object();
  record["value"] = platform::Value::binary(data);
  record["field"] = field;
  if (MIMEType) record["mime-type"] = *MIMEType;
  record["filename"] = fileName;
  addFormRecord(std::move(record));
}

void QVXWebRequest::addFileData_MIMEType_fileName_forFormField(
    const std::string& filePath, const std::optional<std::string>& MIMEType,
    const std::string& fileName, const std::string& field) {
  platform::Value record = platform::Value::object();
  record["file-path"] = filePath;
  record["field"] = field;
  if (MIMEType) record["mime-type"] = *MIMEType;
  record["filename"] = fileName;
  addFormRecord(std::move(record));
}

void QVXWebRequest::addValueForFormFromDict_withPrefix(const platform::Value& dictionary,
                                                       const std::string& prefix) {
  if (!dictionary.is_object()) return;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    addValue_forFormField(it.value(), platform::format("%@[%@]", prefix, it.key()));
  }
}

void QVXWebRequest::addValueForFormFromDict(const platform::Value& dictionary) {
  addValueForFormFromDict_withPrefix(dictionary, "");
}

void QVXWebRequest::setFormData(const platform::Value& dictionary) {
  if (!dictionary.is_object()) return;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    addValue_forFormField(it.value(), it.key());
  }
}

std::shared_ptr<platform::RequestBody> QVXWebRequest::formBody() {
  if (!_formFields || _formFields->empty()) return nullptr;
  auto body = std::make_shared<platform::RequestBody>();
  const std::string boundary = boundaryFor(*_formFields);
  body->appendText("MIME-Version: 1.0\r\n");
  for (const platform::Value& record : *_formFields) appendPart(*body, record, boundary);
  body->appendText(platform::format("--%@--\r\n", boundary));
  addValue_forHTTPHeaderField(platform::format("multipart/form-data; boundary=%@", boundary),
                              "Content-Type");
  return body;
}

std::optional<platform::Bytes> QVXWebRequest::formData() {
  std::shared_ptr<platform::RequestBody> body = formBody();
  if (!body) return std::nullopt;
  return body->readAll();
}

std::optional<platform::URL> QVXWebRequest::fullURL() const {
  if (!_URL) return std::nullopt;
  if (!_parameters || _parameters->empty()) return _URL;
  std::string text = _URL->absoluteString() + "?";
  for (const auto& [key, value] : *_parameters) {
    text += platform::format("%@=%@&", platform::percentEscapeQueryText(key),
                             platform::percentEscapeQueryText(value));
  }
  text.pop_back();
  return platform::URL::URLWithString(text);
}

platform::MutableURLRequest QVXWebRequest::URLRequest() {
  auto request = platform::MutableURLRequest::requestWithURL_cachePolicy_timeoutInterval(
      fullURL(), platform::kURLRequestReloadIgnoringLocalCacheData, 15.0);
  request.setHTTPMethod(_method);
  if (std::shared_ptr<platform::RequestBody> body = formBody()) request.setHTTPBody(body);
  for (const auto& [name, value] : _customHeaders) request.addValue_forHTTPHeaderField(value, name);
  request.setUploadProgressHandler(_uploadProgressHandler);
  return request;
}
