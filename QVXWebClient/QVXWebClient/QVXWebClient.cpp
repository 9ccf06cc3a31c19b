#include "QVXWebClient/QVXWebClient/QVXWebClient.h"

#include "platform/Assert.h"
#include "platform/GlobalQueue.h"
#include "platform/urlloading/PercentEscape.h"

namespace {

constexpr const char* kSourceFile = "QVXWebClient/QVXWebClient/QVXWebClient";
constexpr const char* kErrorDomain = "QVXWebClientErrorDomain";

// The caller's callback behind the expected-status check: an absent callback
// drops the response; a response without error and with another status gets
// the error -1.
QVXWebCompletionHandler expectingStatus(std::uint64_t expected,
                                        QVXWebCompletionHandler completion) {
  return [expected, completion = std::move(completion)](std::shared_ptr<QVXWebResponse> response) {
    if (!completion) return;
    if (!response->error() && response->statusCode() != expected) {
      response->setError(platform::Error::withDomain(kErrorDomain, -1));
    }
    completion(std::move(response));
  };
}

}  // namespace

QVXWebClient::QVXWebClient(platform::URL url)
    : _url(std::move(url)),
      _queue(std::make_unique<platform::SerialQueue>("com.quorvex.rest-client")) {
  // The JSON parser is always built in, so both body types are acceptable.
  _customHeaders["Accept"] = "application/json, application/x-plist";
}

std::shared_ptr<QVXWebClient> QVXWebClient::initWithURL(const platform::URL& url) {
  return std::shared_ptr<QVXWebClient>(new QVXWebClient(url));
}

std::shared_ptr<QVXWebClient> QVXWebClient::initWithURL(std::string_view url) {
  std::optional<platform::URL> parsed = platform::URL::URLWithString(url);
  return parsed ? initWithURL(*parsed) : nullptr;
}

QVXWebClient::~QVXWebClient() {
  auto release = [this] {
    _connections.clear();
    _customHeaders.clear();
  };
  // The last reference may fall inside work of the client queue (the turn
  // that removes a finished asynchronous transaction); waiting for the queue
  // there would wait for itself, and the queue is already this thread.
  if (_queue->isCurrent()) {
    release();
  } else {
    _queue->sync(release);
  }
}

void QVXWebClient::addValue_forHeader(const std::string& value, const std::string& header) {
  _queue->sync([&] { _customHeaders[header] = value; });
}

std::shared_ptr<QVXWebClientTransaction> QVXWebClient::setUpRequest(
    const std::shared_ptr<QVXWebRequest>& request) {
  if (!request->URL() && request->path()) {
    // A path that forms no reference leaves the request without URL; the
    // transport then fails the exchange with curl's malformed-URL error.
    request->setURL(platform::URL::URLWithString_relativeToURL(*request->path(), _url));
  }
  request->addHeaders(_customHeaders);
  std::shared_ptr<QVXWebClientTransaction> transaction =
      QVXWebClientTransaction::transactionWithRequest(request);
  _connections.insert(transaction);
  return transaction;
}

void QVXWebClient::startRequest_completion(std::shared_ptr<QVXWebRequest> request,
                                           QVXWebCompletionHandler completion) {
  _queue->async([self = shared_from_this(), request, completion] {
    std::shared_ptr<QVXWebClientTransaction> transaction = self->setUpRequest(request);
    transaction->startWithCompletionHandler(
        [self, transaction, completion](std::shared_ptr<QVXWebResponse> response) {
          platform::GlobalQueue::defaultQueue().async([self, transaction, completion, response] {
            completion(response);
            self->_queue->async([self, transaction] { self->_connections.erase(transaction); });
          });
        });
  });
}

void QVXWebClient::syncStartRequest_completion(std::shared_ptr<QVXWebRequest> request,
                                               QVXWebCompletionHandler completion) {
  _queue->sync([&] {
    std::shared_ptr<QVXWebClientTransaction> transaction = setUpRequest(request);
    transaction->syncStartWithCompletionHandler([&](std::shared_ptr<QVXWebResponse> response) {
      completion(std::move(response));
      _connections.erase(transaction);
    });
  });
}

void QVXWebClient::startRequest_expectingResponse_completion(std::shared_ptr<QVXWebRequest> request,
                                                             std::uint64_t expectedStatus,
                                                             QVXWebCompletionHandler completion) {
  startRequest_completion(std::move(request),
                          expectingStatus(expectedStatus, std::move(completion)));
}

void QVXWebClient::syncStartRequest_expectingResponse_completion(
    std::shared_ptr<QVXWebRequest> request, std::uint64_t expectedStatus,
    QVXWebCompletionHandler completion) {
  syncStartRequest_completion(std::move(request),
                              expectingStatus(expectedStatus, std::move(completion)));
}

void QVXWebClient::getPath_completion(const std::string& path, QVXWebCompletionHandler completion) {
  std::optional<platform::URL> url = platform::URL::URLWithString_relativeToURL(path, _url);
  if (!url) {
    // Sent as it is, the request ends with the transport's URL error.
    startRequest_completion(QVXWebRequest::requestWithMethod_path("GET", path),
                            std::move(completion));
    return;
  }
  getURL_completion(*url, std::move(completion));
}

void QVXWebClient::getURL_completion(const platform::URL& url, QVXWebCompletionHandler completion) {
  _queue->async([self = shared_from_this(), url, completion] {
    std::shared_ptr<QVXWebRequest> request =
        QVXWebRequest::requestWithMethod_path("GET", url.relativePath());
    request->setURL(url);
    self->startRequest_completion(request, completion);
  });
}

void QVXWebClient::postFormData_toPath_completion(const platform::Value& formData,
                                                  const std::string& path,
                                                  QVXWebCompletionHandler completion) {
  _queue->async([self = shared_from_this(), formData, path, completion] {
    std::shared_ptr<QVXWebRequest> request = QVXWebRequest::requestWithMethod_path("POST", path);
    request->setFormData(formData);
    self->startRequest_completion(request, completion);
  });
}

std::size_t QVXWebClient::transactionCount() {
  std::size_t count = 0;
  _queue->sync([&] { count = _connections.size(); });
  return count;
}

std::string QVXWebClient::escapeURLString(std::string_view text) {
  return platform::percentEscapeQueryText(text);
}

std::optional<platform::Value> QVXWebClient::decodeJSON(const platform::Bytes& data) {
  platform::Value value = platform::Value::parse(data.begin(), data.end(), nullptr, false);
  // Without reading options only a dictionary or a list may stand at the top.
  if (value.is_discarded() || !(value.is_object() || value.is_array())) return std::nullopt;
  return value;
}

std::optional<platform::Bytes> QVXWebClient::encodeJSON(const platform::Value&) {
  QVX_ASSERT(false, "0 && \"encodeJSON: isn't implemented yet\"", "+[QVXWebClient encodeJSON:]",
             kSourceFile, 58);
  return std::nullopt;
}
