#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/urlloading/HTTPTransportBody.h"
#include "platform/urlloading/URL.h"

namespace platform {

// The cache policy that reloads and ignores locally cached data. The
// transport keeps no cache, so every policy behaves this way.
inline constexpr int kURLRequestReloadIgnoringLocalCacheData = 1;

// The transport's request record: URL, method, header fields in the order
// added, an optional body, a cache policy and a time-out in seconds.
class MutableURLRequest {
 public:
  // Told, while the body is sent, how many of its bytes the peer has
  // acknowledged so far and how many the body holds.
  using UploadProgressHandler = std::function<void(std::uint64_t sent, std::uint64_t total)>;

  // A "GET" request for the URL (which may be absent: sending it then fails).
  static MutableURLRequest requestWithURL_cachePolicy_timeoutInterval(std::optional<URL> url,
                                                                      int cachePolicy,
                                                                      double timeoutInterval);

  // The URL the request goes to; absent when none was given.
  const std::optional<URL>& url() const { return url_; }
  // The cache policy given at creation.
  int cachePolicy() const { return cachePolicy_; }
  // The time-out in seconds that bounds the phases of the exchange (see
  // URLConnection): the longest wait for a connection, the window in which
  // the peer must take some of the request, the longest silence of the
  // answer, and half the longest answer.
  double timeoutInterval() const { return timeoutInterval_; }

  // The HTTP method, "GET" unless set.
  const std::string& HTTPMethod() const { return method_; }
  void setHTTPMethod(std::string method) { method_ = std::move(method); }

  // The body, or null for none.
  const std::shared_ptr<const RequestBody>& HTTPBody() const { return body_; }
  void setHTTPBody(std::shared_ptr<const RequestBody> body) { body_ = std::move(body); }

  // Called on the sending thread about once a second and whenever bytes
  // move while the body goes out; none by default.
  const UploadProgressHandler& uploadProgressHandler() const { return progress_; }
  void setUploadProgressHandler(UploadProgressHandler handler) { progress_ = std::move(handler); }

  // Adds a header field; a name already present (in any letter case) gets
  // the new value appended after a comma, as HTTP combines repeated fields.
  void addValue_forHTTPHeaderField(const std::string& value, const std::string& field);
  // The value of a header field, the name matched without regard to case.
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
  // Every header field, in the order first added.
  const std::vector<std::pair<std::string, std::string>>& allHTTPHeaderFields() const {
    return headers_;
  }

 private:
  std::optional<URL> url_;
  int cachePolicy_ = kURLRequestReloadIgnoringLocalCacheData;
  double timeoutInterval_ = 60.0;
  std::string method_ = "GET";
  std::vector<std::pair<std::string, std::string>> headers_;
  std::shared_ptr<const RequestBody> body_;
  UploadProgressHandler progress_;
};

// Whether two header names are the same field (ASCII letters compared
// without regard to case).
bool sameHeaderName(std::string_view a, std::string_view b);

}  // namespace platform
