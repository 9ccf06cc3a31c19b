#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "QVXWebClient/QVXWebClient/QVXWebClientTransaction.h"
#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"
#include "QVXWebClient/QVXWebClient/QVXWebResponse.h"
#include "platform/SerialQueue.h"
#include "platform/Value.h"
#include "platform/urlloading/URL.h"

// A cache delegate of the client; it declares nothing and is never called.
class QVXPersistenceCacheDelegate {
 public:
  virtual ~QVXPersistenceCacheDelegate() = default;
};

// The entry point of the HTTP client: a base URL, default header fields and
// a serial client queue ("com.quorvex.rest-client") on which requests are
// set up and turned into transactions. Each finished exchange reaches the
// caller's completion callback once, as a QVXWebResponse: asynchronously on
// the global concurrent queue, or synchronously on the client queue while
// the caller waits. HTTP client errors have the domain
// "QVXWebClientErrorDomain": -1 for an unexpected status, -2 for a password
// challenge.
class QVXWebClient : public std::enable_shared_from_this<QVXWebClient> {
 public:
  // A client for the base URL, with the default header
  // "Accept: application/json, application/x-plist".
  static std::shared_ptr<QVXWebClient> initWithURL(const platform::URL& url);
  // The same for URL text; null when the text is no absolute URL.
  static std::shared_ptr<QVXWebClient> initWithURL(std::string_view url);
  // Waits for the work already queued on the client queue, then ends.
  ~QVXWebClient();

  // Stores a default header, replacing an earlier value (waits for the queue).
  void addValue_forHeader(const std::string& value, const std::string& header);

  // Sends the request; the callback runs later on the global queue.
  void startRequest_completion(std::shared_ptr<QVXWebRequest> request,
                               QVXWebCompletionHandler completion);
  // Sends the request on the client queue and returns after the callback,
  // which runs on the client queue, has returned.
  void syncStartRequest_completion(std::shared_ptr<QVXWebRequest> request,
                                   QVXWebCompletionHandler completion);
  // startRequest_completion; a response without error whose status is not
  // the expected one gets the error -1. An absent callback: nothing is called.
  void startRequest_expectingResponse_completion(std::shared_ptr<QVXWebRequest> request,
                                                 std::uint64_t expectedStatus,
                                                 QVXWebCompletionHandler completion);
  // The same for syncStartRequest_completion.
  void syncStartRequest_expectingResponse_completion(std::shared_ptr<QVXWebRequest> request,
                                                     std::uint64_t expectedStatus,
                                                     QVXWebCompletionHandler completion);
  // A GET of the path resolved against the base URL (getURL_completion).
  void getPath_completion(const std::string& path, QVXWebCompletionHandler completion);
  // A GET of the absolute URL, its path as the request's path.
  void getURL_completion(const platform::URL& url, QVXWebCompletionHandler completion);
  // A POST of the fields (name to text) as a multipart form to the path.
  void postFormData_toPath_completion(const platform::Value& formData, const std::string& path,
                                      QVXWebCompletionHandler completion);

  // The base URL.
  const platform::URL& URL() const { return _url; }
  // The cache delegate, not owned; never called.
  std::weak_ptr<QVXPersistenceCacheDelegate> cacheDelegate() const { return _cacheDelegate; }
  void setCacheDelegate(std::weak_ptr<QVXPersistenceCacheDelegate> delegate) {
    _cacheDelegate = std::move(delegate);
  }
  // How many transactions are in flight (waits for the client queue).
  std::size_t transactionCount();

  // The text escaped by the query rule (UTF-8; all but letters, digits and
  // "-_.~" as %XX).
  static std::string escapeURLString(std::string_view text);
  // The JSON value (a dictionary or a list at the top) the bytes hold;
  // absent when they do not parse.
  static std::optional<platform::Value> decodeJSON(const platform::Bytes& data);
  // Not provided: stops the process with the assertion report.
  static std::optional<platform::Bytes> encodeJSON(const platform::Value& value);

 private:
  explicit QVXWebClient(platform::URL url);
  // Completes the request and makes its transaction (client queue only).
  std::shared_ptr<QVXWebClientTransaction> setUpRequest(
      const std::shared_ptr<QVXWebRequest>& request);

  platform::URL _url;
  std::set<std::shared_ptr<QVXWebClientTransaction>> _connections;
  std::unique_ptr<platform::SerialQueue> _queue;
  QVXWebRequest::TextMap _customHeaders;
  std::weak_ptr<QVXPersistenceCacheDelegate> _cacheDelegate;
};
