#pragma once

#include <cstddef>
#include <optional>

#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/urlloading/HTTPTransportProtectionSpace.h"
#include "platform/urlloading/HTTPTransportRequest.h"
#include "platform/urlloading/HTTPTransportResponse.h"

namespace platform {

// The error domain of transport errors.
inline constexpr const char* kCURLErrorDomain = "CURLErrorDomain";

// The longest response body an exchange keeps. The answer is complete once
// its body is whole or this much of it is kept: past that the exchange stops
// reading and closes the connection, and finishes normally with the head's
// status and headers but none of the body, so that a body cut short is never
// taken for a whole one.
inline constexpr std::size_t kKeptResponseBodyLimit = 1 << 20;

// What a running exchange reports to whoever runs it. Each call answers
// whether the exchange goes on; false stops it at once.
class HTTPExchangeObserver {
 public:
  virtual ~HTTPExchangeObserver() = default;
  // A password challenge (401 or 407 with a challenge header) arrived; asked
  // before the head of that response is reported.
  virtual bool exchangeReceivedChallenge(const ProtectionSpace& space) = 0;
  // A final (non-1xx) response head arrived.
  virtual bool exchangeReceivedHead(const URLResponse& response) = 0;
  // The kept body bytes, once, after the last of them arrived (before the
  // exchange ends, whether it then succeeds or fails); not called when no
  // byte was kept.
  virtual void exchangeReceivedBody(Bytes body) = 0;
  // Asked about once a second and whenever bytes move.
  virtual bool exchangeShouldContinue() = 0;
};

// Runs one HTTP exchange with libcurl on the calling thread, under the rules
// of URLConnection; returns its error, or nothing when it ended normally. An
// exchange stopped by its observer ends with an error as well.
std::optional<Error> performHTTPExchange(const MutableURLRequest& request,
                                         HTTPExchangeObserver& observer);

// The TLS server-trust space of an https request; nothing for other requests.
std::optional<ProtectionSpace> serverTrustSpaceFor(const MutableURLRequest& request);

}  // namespace platform
