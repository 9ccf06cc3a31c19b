#include "QVXWebClient/QVXWebClient/QVXWebClientTransaction.h"

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"
#include "platform/Assert.h"
#include "platform/propertylists/PropertyList.h"

namespace {

constexpr const char* kSourceFile = "QVXWebClient/QVXWebClient/QVXWebClientTransaction";
constexpr const char* kErrorDomain = "QVXWebClientErrorDomain";
constexpr const char* kPropertyListType = "application/x-plist";
constexpr const char* kJSONType = "application/json";

// The recognised content type of a "Content-Type" value: a property list
// first, then JSON; anything else (or no header) gives none. The tests are
// case-sensitive substring tests.
std::optional<std::string> recognisedContentType(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  if (value->find(kPropertyListType) != std::string::npos) return kPropertyListType;
  if (value->find(kJSONType) != std::string::npos) return kJSONType;
  return std::nullopt;
}

}  // namespace

QVXWebClientTransaction::QVXWebClientTransaction(std::shared_ptr<QVXWebRequest> request)
    : _request(std::move(request)),
      _response(QVXWebResponse::init()),
      _queue(std::make_unique<platform::SerialQueue>("com.quorvex.web-transaction")) {}

std::shared_ptr<QVXWebClientTransaction> QVXWebClientTransaction::transactionWithRequest(
    std::shared_ptr<QVXWebRequest> request) {
  return initWithRequest(std::move(request));
}

std::shared_ptr<QVXWebClientTransaction> QVXWebClientTransaction::initWithRequest(
    std::shared_ptr<QVXWebRequest> request) {
  return std::shared_ptr<QVXWebClientTransaction>(new QVXWebClientTransaction(std::move(request)));
}

void QVXWebClientTransaction::startWithCompletionHandler(
    QVXWebCompletionHandler completionHandler) {
  _queue->async([self = shared_from_this(), handler = std::move(completionHandler)]() mutable {
    self->setCompletionHandler(std::move(handler));
    self->startConnection();
  });
}

void QVXWebClientTransaction::syncStartWithCompletionHandler(
    QVXWebCompletionHandler completionHandler) {
  setCompletionHandler(std::move(completionHandler));
  QVX_ASSERT(!_connection, "!_connection",
             "-[QVXWebClientTransaction syncStartWithCompletionHandler:]", kSourceFile, 155);
  syncStartConnection();
}

void QVXWebClientTransaction::startConnection() {
  platform::MutableURLRequest request = _request->URLRequest();
  QVX_ASSERT(_connection == nullptr, "_connection == nil",
             "-[QVXWebClientTransaction startConnection]", kSourceFile, 88);
  _response->setRequestURL(request.url());
  _connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
      std::move(request), shared_from_this(), false);
  _connection->start();
}

void QVXWebClientTransaction::syncStartConnection() {
  platform::MutableURLRequest request = _request->URLRequest();
  QVX_ASSERT(_connection == nullptr, "_connection == nil",
             "-[QVXWebClientTransaction syncStartConnection]", kSourceFile, 113);
  _response->setRequestURL(request.url());
  // The synchronous exchange gets a connection object too, so that a second
  // start of this transaction, of either kind, meets the assertions.
  _connection = platform::URLConnection::initWithRequest_delegate_startImmediately(
      std::move(request), nullptr, false);
  std::optional<platform::URLResponse> head;
  std::optional<platform::Error> error;
  std::optional<platform::Bytes> data = _connection->sendSynchronously(&head, &error);
  if (error) _response->setError(error);
  if (data) _response->appendData(std::move(*data));
  if (head) {
    _response->setStatusCode(head->statusCode);
    _response->setResponseHeaders(head->allHeaderFields);
  }
  complete();
}

std::optional<platform::Value> QVXWebClientTransaction::objectFromReceivedData() {
  const platform::Bytes& data = _response->responseData();
  if (data.empty()) return std::nullopt;
  if (_contentType == kJSONType) return QVXWebClient::decodeJSON(data);
  if (_contentType == kPropertyListType) {
    platform::Error parseError;
    std::optional<platform::Value> value = platform::propertyListFromData(data, &parseError);
    if (!value && !_response->error()) _response->setError(parseError);
    return value;
  }
  return platform::Value::binary(data);
}

bool QVXWebClientTransaction::bodyIsRawData() const {
  return !_response->responseData().empty() && _contentType != kJSONType &&
         _contentType != kPropertyListType;
}

void QVXWebClientTransaction::complete() {
  QVX_ASSERT(static_cast<bool>(_completionHandler), "_completionHandler",
             "-[QVXWebClientTransaction complete]", kSourceFile, 192);
  // Raw bytes move into the body instead of being copied there, so that the
  // response holds them once.
  if (bodyIsRawData()) {
    _response->setBodyToResponseData();
  } else {
    _response->setBody(objectFromReceivedData());
  }
  QVXWebCompletionHandler handler = _completionHandler;
  handler(_response);
  _completionHandler = nullptr;
}

void QVXWebClientTransaction::connection_didReceiveResponse(platform::URLConnection&,
                                                            const platform::URLResponse& response) {
  if (!response.isHTTPResponse) return;
  std::optional<std::string> contentType =
      platform::headerFieldValue(response.allHeaderFields, "Content-Type");
  _queue->async([self = shared_from_this(), contentType, status = response.statusCode,
                 headers = response.allHeaderFields] {
    self->_response->setStatusCode(status);
    self->_response->setResponseHeaders(headers);
    self->_contentType = recognisedContentType(contentType);
  });
}

void QVXWebClientTransaction::connection_didReceiveData(platform::URLConnection&,
                                                        platform::Bytes data) {
  _queue->async([self = shared_from_this(), data = std::move(data)]() mutable {
    self->_response->appendData(std::move(data));
  });
}

void QVXWebClientTransaction::connection_didFailWithError(
    platform::URLConnection&, const std::optional<platform::Error>& error) {
  QVX_ASSERT(error.has_value(), "error", "-[QVXWebClientTransaction connection:didFailWithError:]",
             kSourceFile, 239);
  _queue->async([self = shared_from_this(), error] {
    self->_response->setError(error);
    self->complete();
  });
}

void QVXWebClientTransaction::connectionDidFinishLoading(platform::URLConnection&) {
  _queue->async([self = shared_from_this()] { self->complete(); });
}

bool QVXWebClientTransaction::connection_canAuthenticateAgainstProtectionSpace(
    platform::URLConnection& connection,
    const std::optional<platform::ProtectionSpace>& protectionSpace) {
  bool answer = false;
  if (protectionSpace && protectionSpace->serverTrust) {
    _queue->sync([&] {
      const QVXWebRequest::ProtectionSpaceHandler& handler = _request->protectionSpaceHandler();
      if (handler) answer = handler(*protectionSpace);
    });
    return answer;
  }
  connection.cancel();
  connection_didFailWithError(connection, platform::Error::withDomain(kErrorDomain, -2));
  return false;
}
