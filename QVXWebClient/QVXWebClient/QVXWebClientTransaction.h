#pragma once

#include <memory>
#include <optional>
#include <string>

#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"
#include "QVXWebClient/QVXWebClient/QVXWebResponse.h"
#include "platform/SerialQueue.h"
#include "platform/urlloading/HTTPTransportConnection.h"

// One HTTP exchange for one request: it runs the connection, collects
// status, headers and body bytes into a response, decodes the body by its
// content type and calls the completion callback exactly once. It runs
// either asynchronously, driven by the connection's events, which it moves
// onto its own serial transaction queue ("com.quorvex.web-transaction"), or
// synchronously on the calling thread.
class QVXWebClientTransaction : public platform::URLConnectionDelegate,
                                public std::enable_shared_from_this<QVXWebClientTransaction> {
 public:
  // A new transaction for the request (initWithRequest).
  static std::shared_ptr<QVXWebClientTransaction> transactionWithRequest(
      std::shared_ptr<QVXWebRequest> request);
  // Holds the request, creates an empty response and the transaction queue.
  static std::shared_ptr<QVXWebClientTransaction> initWithRequest(
      std::shared_ptr<QVXWebRequest> request);

  // Schedules, on the transaction queue, setting the callback and then
  // startConnection; returns at once. A second start stops with the
  // assertion report.
  void startWithCompletionHandler(QVXWebCompletionHandler completionHandler);
  // Runs the whole exchange on the calling thread and returns after the
  // callback has returned. A transaction already started stops with the
  // assertion report.
  void syncStartWithCompletionHandler(QVXWebCompletionHandler completionHandler);

  // Starts the asynchronous exchange (on the transaction queue).
  void startConnection();
  // Runs the synchronous exchange (on the calling thread).
  void syncStartConnection();
  // The body decoded by the recognised content type: absent without bytes,
  // a JSON or property-list value (absent when it does not parse), else the
  // raw bytes.
  std::optional<platform::Value> objectFromReceivedData();
  // Sets the body and hands the response to the callback, once: a second
  // call stops with the assertion report.
  void complete();

  // The callback, absent before a start and after completion.
  const QVXWebCompletionHandler& completionHandler() const { return _completionHandler; }
  void setCompletionHandler(QVXWebCompletionHandler completionHandler) {
    _completionHandler = std::move(completionHandler);
  }

  // Connection events (asynchronous way).
  void connection_didReceiveResponse(platform::URLConnection& connection,
                                     const platform::URLResponse& response) override;
  void connection_didReceiveData(platform::URLConnection& connection,
                                 platform::Bytes data) override;
  void connection_didFailWithError(platform::URLConnection& connection,
                                   const std::optional<platform::Error>& error) override;
  void connectionDidFinishLoading(platform::URLConnection& connection) override;
  bool connection_canAuthenticateAgainstProtectionSpace(
      platform::URLConnection& connection,
      const std::optional<platform::ProtectionSpace>& protectionSpace) override;

 private:
  explicit QVXWebClientTransaction(std::shared_ptr<QVXWebRequest> request);
  // Whether the body is the received bytes as they are (no recognised type).
  bool bodyIsRawData() const;

  std::shared_ptr<QVXWebRequest> _request;
  std::shared_ptr<QVXWebResponse> _response;
  std::optional<std::string> _contentType;
  std::shared_ptr<platform::URLConnection> _connection;
  std::unique_ptr<platform::SerialQueue> _queue;
  QVXWebCompletionHandler _completionHandler;
};
