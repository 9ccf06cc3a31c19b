#pragma once

#include <memory>
#include <optional>

#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/urlloading/HTTPTransportProtectionSpace.h"
#include "platform/urlloading/HTTPTransportRequest.h"
#include "platform/urlloading/HTTPTransportResponse.h"

namespace platform {

class URLConnection;

// What an asynchronous connection tells its delegate, in this order: for an
// https URL first the server-trust question; then response heads, body
// bytes, and at the end either one failure or one finish. A password
// challenge (status 401 or 407 with a challenge header) is asked as a
// question without server trust before its response head. No event follows
// a cancel.
class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;
  // A response head arrived (interim 1xx heads are not reported).
  virtual void connection_didReceiveResponse(URLConnection& connection,
                                             const URLResponse& response) = 0;
  // Body bytes arrived: the whole kept body at once, after its last byte
  // (a body longer than kKeptResponseBodyLimit is not kept, see there).
  virtual void connection_didReceiveData(URLConnection& connection, Bytes data) = 0;
  // The exchange failed; the last event.
  virtual void connection_didFailWithError(URLConnection& connection,
                                           const std::optional<Error>& error) = 0;
  // The exchange finished; the last event.
  virtual void connectionDidFinishLoading(URLConnection& connection) = 0;
  // Whether the delegate authenticates in the protection space. Answered
  // false for a server-trust space, the transport verifies the peer as
  // always; answered true, it does the same, since no credentials are ever
  // supplied and peers are never trusted unverified.
  virtual bool connection_canAuthenticateAgainstProtectionSpace(
      URLConnection& connection, const std::optional<ProtectionSpace>& protectionSpace) = 0;
};

// One HTTP exchange over libcurl, run either asynchronously, on a thread of
// the connection's own that plays the main run loop and delivers the
// delegate's events, or synchronously on the caller's thread.
//
// The transport bounds every phase of an exchange, each with an error text
// of its own (code 28 of "CURLErrorDomain"), T being timeoutInterval:
// - connecting (TLS and proxy tunnels included): at most T;
// - sending the request: it ends when in any T seconds the peer acknowledged
//   less than 16 KiB of it, or less than what remains when that is smaller.
//   Judged by what the peer acknowledged, not by what went into the socket:
//   an upload the peer keeps taking at any real speed is never cut off,
//   even when all of it went into the kernel's buffers at once;
// - the answer: from the last byte of the request being acknowledged (or
//   an earlier final head) until the answer is complete, at most 2T in all,
//   however bytes trickle in (interim answers, a slow head, a slow body),
//   and never T without a byte. The answer is complete when its body is
//   whole or kKeptResponseBodyLimit bytes of it are kept.
// With a final head received, the exchange ends with that head's status
// even when the body was cut short; without one its status stays 0. The
// status is the one curl read from the status line; a status line it cannot
// read fails the exchange. No redirect is followed; only http and https are
// spoken; TLS peers are always verified, with the trust of SSL_CERT_FILE and SSL_CERT_DIR added to
// the system's; proxies come from the environment as curl reads it; a body
// goes with its Content-Length, never chunked, and without
// "Expect: 100-continue". A method that is no HTTP token, or a header field
// holding CR, LF or NUL, is never sent: the exchange fails at once.
// Transport errors have the domain "CURLErrorDomain", curl's code and message.
class URLConnection : public std::enable_shared_from_this<URLConnection> {
 public:
  // A connection for the request. With a delegate and startImmediately, it
  // starts at once. The connection holds the delegate until its last event.
  static std::shared_ptr<URLConnection> initWithRequest_delegate_startImmediately(
      MutableURLRequest request, std::shared_ptr<URLConnectionDelegate> delegate,
      bool startImmediately);
  ~URLConnection();

  // Starts the asynchronous exchange; returns at once. Only the first call counts.
  void start();
  // Stops the exchange; no delegate event follows once this returns (an event
  // running on the connection's thread at that moment may finish).
  void cancel();

  // Runs the exchange on the calling thread and returns the kept body bytes
  // (none when no byte was kept), with the last response head and the error, if any,
  // in the out-arguments. No delegate event is delivered.
  std::optional<Bytes> sendSynchronously(std::optional<URLResponse>* response,
                                         std::optional<Error>* error);

  // The same for a one-off request.
  static std::optional<Bytes> sendSynchronousRequest_returningResponse_error(
      const MutableURLRequest& request, std::optional<URLResponse>* response,
      std::optional<Error>* error);

  // The request given at creation.
  const MutableURLRequest& originalRequest() const;

 private:
  URLConnection() = default;
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
