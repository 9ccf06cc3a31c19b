#include "QVXWebClient/QVXWebClient/QVXWebResponse.h"

#include "platform/Format.h"

std::shared_ptr<QVXWebResponse> QVXWebResponse::init() {
  return std::shared_ptr<QVXWebResponse>(new QVXWebResponse());
}

void QVXWebResponse::appendData(const platform::Bytes& data) {
  takeDataBackFromBody(true);
  _responseData.insert(_responseData.end(), data.begin(), data.end());
}

void QVXWebResponse::appendData(platform::Bytes&& data) {
  takeDataBackFromBody(true);
  if (_responseData.empty()) {
    _responseData = std::move(data);
  } else {
    _responseData.insert(_responseData.end(), data.begin(), data.end());
  }
}

const platform::Bytes& QVXWebResponse::responseData() const {
  return _bodyHoldsData ? *platform::bytesOf(*_body) : _responseData;
}

void QVXWebResponse::setBody(std::optional<platform::Value> body) {
  takeDataBackFromBody(false);
  _body = std::move(body);
}

void QVXWebResponse::setBodyToResponseData() {
  if (_bodyHoldsData) return;
  _body = platform::Value::binary(std::move(_responseData));
  _responseData = platform::Bytes();
  _bodyHoldsData = true;
}

void QVXWebResponse::takeDataBackFromBody(bool keepBody) {
  if (!_bodyHoldsData) return;
  _bodyHoldsData = false;
  auto& held = static_cast<platform::Bytes&>(_body->get_binary());
  _responseData = keepBody ? held : std::move(held);
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
