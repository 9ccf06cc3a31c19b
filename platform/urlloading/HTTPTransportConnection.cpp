#include "platform/urlloading/HTTPTransportConnection.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/urlloading/HTTPTransportExchange.h"

namespace platform {

struct URLConnection::State {
  MutableURLRequest request;
  std::mutex mutex;
  std::shared_ptr<URLConnectionDelegate> delegate;  // until the last event
  std::atomic<bool> started{false};
  std::atomic<bool> cancelled{false};
};

namespace {

// Hands the exchange's reports to the delegate, on the connection's thread.
class DelegateObserver : public HTTPExchangeObserver {
 public:
  DelegateObserver(URLConnection& connection, URLConnectionDelegate& delegate,
                   const std::atomic<bool>& cancelled)
      : connection_(connection), delegate_(delegate), cancelled_(cancelled) {}

  bool exchangeReceivedChallenge(const ProtectionSpace& space) override {
    if (cancelled_) return false;
    // No credentials are ever supplied: whatever the answer, the exchange
    // goes on without them unless the delegate cancelled it.
    delegate_.connection_canAuthenticateAgainstProtectionSpace(connection_, space);
    return !cancelled_;
  }
  bool exchangeReceivedHead(const URLResponse& response) override {
    if (cancelled_) return false;
    delegate_.connection_didReceiveResponse(connection_, response);
    return !cancelled_;
  }
  void exchangeReceivedBody(Bytes body) override {
    if (!cancelled_) delegate_.connection_didReceiveData(connection_, std::move(body));
  }
  bool exchangeShouldContinue() override { return !cancelled_; }

 private:
  URLConnection& connection_;
  URLConnectionDelegate& delegate_;
  const std::atomic<bool>& cancelled_;
};

// Keeps what a synchronous exchange returns.
class CollectingObserver : public HTTPExchangeObserver {
 public:
  explicit CollectingObserver(const std::atomic<bool>& cancelled) : cancelled_(cancelled) {}

  bool exchangeReceivedChallenge(const ProtectionSpace&) override { return !cancelled_; }
  bool exchangeReceivedHead(const URLResponse& response) override {
    head = response;
    return !cancelled_;
  }
  void exchangeReceivedBody(Bytes received) override { body = std::move(received); }
  bool exchangeShouldContinue() override { return !cancelled_; }

  std::optional<URLResponse> head;
  Bytes body;

 private:
  const std::atomic<bool>& cancelled_;
};

}  // namespace

std::shared_ptr<URLConnection> URLConnection::initWithRequest_delegate_startImmediately(
    MutableURLRequest request, std::shared_ptr<URLConnectionDelegate> delegate,
    bool startImmediately) {
  std::shared_ptr<URLConnection> connection(new URLConnection());
  connection->state_ = std::make_shared<State>();
  connection->state_->request = std::move(request);
  connection->state_->delegate = std::move(delegate);
  if (startImmediately) connection->start();
  return connection;
}

URLConnection::~URLConnection() = default;

const MutableURLRequest& URLConnection::originalRequest() const { return state_->request; }

void URLConnection::cancel() { state_->cancelled = true; }

void URLConnection::start() {
  if (state_->started.exchange(true)) return;
  std::shared_ptr<URLConnectionDelegate> delegate;
  {
    std::lock_guard lock(state_->mutex);
    delegate = state_->delegate;
  }
  if (!delegate) return;
  auto run = [self = shared_from_this(), delegate] {
    State& state = *self->state_;
    if (std::optional<ProtectionSpace> space = serverTrustSpaceFor(state.request)) {
      if (!state.cancelled)
        delegate->connection_canAuthenticateAgainstProtectionSpace(*self, space);
    }
    if (!state.cancelled) {
      DelegateObserver observer(*self, *delegate, state.cancelled);
      std::optional<Error> error = performHTTPExchange(state.request, observer);
      if (!state.cancelled) {
        if (error) {
          delegate->connection_didFailWithError(*self, error);
        } else {
          delegate->connectionDidFinishLoading(*self);
        }
      }
    }
    std::lock_guard lock(state.mutex);
    state.delegate = nullptr;
  };
  try {
    std::thread(std::move(run)).detach();
  } catch (const std::system_error&) {
    delegate->connection_didFailWithError(
        *this, Error{kCURLErrorDomain, 2, "No thread could be started for the connection"});
  }
}

std::optional<Bytes> URLConnection::sendSynchronously(std::optional<URLResponse>* response,
                                                      std::optional<Error>* error) {
  CollectingObserver observer(state_->cancelled);
  std::optional<Error> failure = performHTTPExchange(state_->request, observer);
  if (response) *response = observer.head;
  if (error) *error = failure;
  if (observer.body.empty()) return std::nullopt;
  return std::move(observer.body);
}

std::optional<Bytes> URLConnection::sendSynchronousRequest_returningResponse_error(
    const MutableURLRequest& request, std::optional<URLResponse>* response,
    std::optional<Error>* error) {
  auto connection = initWithRequest_delegate_startImmediately(request, nullptr, false);
  return connection->sendSynchronously(response, error);
}

}  // namespace platform
