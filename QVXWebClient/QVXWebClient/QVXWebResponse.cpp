#include "QVXWebClient/QVXWebClient/QVXWebResponse.h"

#include "platform/Format.h"

std::shared_ptr<QVXWebResponse> QVXWebResponse::init() {
  return std::shared_ptr<QVXWebResponse>(new QVXWebResponse());
}

void QVXWebResponse::appendData(const platform::Bytes& data) {
  _responseData.insert(_responseData.end(), data.begin(), data.end());
}

bool QVXWebResponse::wasSuccessful() const { return !_error && _statusCode - 200 < 100; }

std::string QVXWebResponse::description() const {
  std::optional<std::string> url;
  if (_requestURL) url = _requestURL->absoluteString();
  platform::Value body = _body.value_or(platform::Value());
  platform::Value headers;
  if (_responseHeaders) {
    headers = platform::Value::object();
    for (const auto& [name, value] : *_responseHeaders) headers[name] = value;
  }
  return platform::format("{request: %@, status: %lu, body: %@, error: %@, headers: %@}", url,
                          _statusCode, body, _error, headers);
}
