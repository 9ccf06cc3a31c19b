#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/urlloading/HTTPTransportResponse.h"
#include "platform/urlloading/URL.h"

// The record of one finished HTTP exchange: the URL requested, the status,
// the response headers, the raw body bytes, the decoded body and the error.
// A transaction fills it; the completion callback reads it.
class QVXWebResponse {
 public:
  // An empty response: status 0, no bytes, every other field absent.
  static std::shared_ptr<QVXWebResponse> init();

  // The absolute URL of the request as sent.
  const std::optional<platform::URL>& requestURL() const { return _requestURL; }
  void setRequestURL(std::optional<platform::URL> url) { _requestURL = std::move(url); }

  // The HTTP status; 0 when no HTTP response arrived.
  std::uint64_t statusCode() const { return _statusCode; }
  void setStatusCode(std::uint64_t statusCode) { _statusCode = statusCode; }

  // The decoded body: a parsed JSON or property-list value, the raw bytes
  // (a binary value), or absent.
  const std::optional<platform::Value>& body() const { return _body; }
  void setBody(std::optional<platform::Value> body);
  // Makes the body the raw bytes of responseData, without copying them: the
  // body holds them from then on and responseData reads them there.
  void setBodyToResponseData();

  // The transport error, property-list parse error or client error, if any.
  const std::optional<platform::Error>& error() const { return _error; }
  void setError(std::optional<platform::Error> error) { _error = std::move(error); }

  // The header fields of the HTTP response; absent when none arrived.
  const std::optional<platform::HeaderFields>& responseHeaders() const { return _responseHeaders; }
  void setResponseHeaders(std::optional<platform::HeaderFields> headers) {
    _responseHeaders = std::move(headers);
  }

  // The raw body bytes, in the order received.
  const platform::Bytes& responseData() const;

  // Appends bytes to responseData; the second form takes them over without
  // a copy when responseData is empty.
  void appendData(const platform::Bytes& data);
  void appendData(platform::Bytes&& data);

  // True exactly when there is no error and the status lies in 200...299.
  bool wasSuccessful() const;

  // "{request: %@, status: %lu, body: %@, error: %@, headers: %@}".
  std::string description() const;

 private:
  QVXWebResponse() = default;

  std::optional<platform::URL> _requestURL;
  std::uint64_t _statusCode = 0;
  std::optional<platform::Value> _body;
  std::optional<platform::Error> _error;
  std::optional<platform::HeaderFields> _responseHeaders;
  platform::Bytes _responseData;
  // Whether the bytes of responseData live in _body (setBodyToResponseData).
  bool _bodyHoldsData = false;

  // Moves bytes held by the body back into _responseData, leaving the body
  // what it was when KEEPBODY, else moving them out of it.
  void takeDataBackFromBody(bool keepBody);
};

// The completion callback of an exchange: called once with its response.
using QVXWebCompletionHandler = std::function<void(std::shared_ptr<QVXWebResponse>)>;
