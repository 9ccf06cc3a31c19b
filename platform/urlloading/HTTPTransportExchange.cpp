#include "platform/urlloading/HTTPTransportExchange.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Format.h"
#include "platform/urlloading/HTTPTransportPhaseWatch.h"
#include "platform/urlloading/HTTPTransportSocketDelivery.h"

namespace platform {

namespace {

struct EasyFree {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// libcurl's global set-up, once per process, before any handle is made.
void initialiseCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Error curlError(CURLcode code, const char* details) {
  std::string message = details && *details ? details : curl_easy_strerror(code);
  return Error{kCURLErrorDomain, static_cast<long long>(code), message};
}

// The error of an exchange that broke one of its bounds.
Error timeOut(const std::string& what) {
  return curlError(CURLE_OPERATION_TIMEDOUT, ("Operation timed out: " + what).c_str());
}

long wholeSeconds(double seconds) { return static_cast<long>(std::ceil(seconds)); }

// Whether the text is an HTTP token (a method or a header name).
bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// Whether a header value could end its line early or smuggle another field.
bool breaksHeaderLine(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The reason a request must not be sent as it stands, if there is one.
std::optional<Error> refusal(const MutableURLRequest& request) {
  if (!request.url()) return curlError(CURLE_URL_MALFORMAT, nullptr);
  if (!isToken(request.HTTPMethod())) {
    return curlError(
        CURLE_BAD_FUNCTION_ARGUMENT,
        format("The method \"%@\" is no HTTP token; the request was not sent", request.HTTPMethod())
            .c_str());
  }
  for (const auto& [name, value] : request.allHTTPHeaderFields()) {
    if (!isToken(name) || breaksHeaderLine(value)) {
      return curlError(
          CURLE_BAD_FUNCTION_ARGUMENT,
          format("The header field \"%@\" holds CR, LF or NUL or is no HTTP token; the request "
                 "was not sent",
                 std::string(name.begin(), std::find(name.begin(), name.end(), '\0')))
              .c_str());
    }
  }
  const auto& body = request.HTTPBody();
  if (body && !body->isReadable()) {
    return curlError(CURLE_READ_ERROR,
                     format("The body file %@ cannot be read", body->unreadablePath()).c_str());
  }
  return std::nullopt;
}

// The text of a whole file, or nothing.
std::optional<std::string> fileText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Adds the certificates of SSL_CERT_FILE and the folders of SSL_CERT_DIR to
// the trust curl starts from, for the server and for an https proxy. A
// certificate blob replaces curl's default bundle, so the bundle goes first
// in it.
void addEnvironmentTrust(CURL* easy, std::string& blobText) {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  // A machine without the system bundle still verifies against the extra
  // trust below, instead of failing on the missing bundle file.
  if (info->cainfo && access(info->cainfo, R_OK) != 0) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy, CURLOPT_PROXY_CAINFO, nullptr);
  }
  const char* certFile = getenv("SSL_CERT_FILE");
  if (certFile && *certFile) {
    if (std::optional<std::string> extra = fileText(certFile)) {
      if (info->cainfo) blobText = fileText(info->cainfo).value_or("") + "\n";
      blobText += *extra;
      curl_blob blob{blobText.data(), blobText.size(), CURL_BLOB_COPY};
      curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
      curl_easy_setopt(easy, CURLOPT_PROXY_CAINFO_BLOB, &blob);
    }
  }
  const char* certDir = getenv("SSL_CERT_DIR");
  if (certDir && *certDir) {
    std::string paths = certDir;
    if (info->capath) paths += std::string(":") + info->capath;
    curl_easy_setopt(easy, CURLOPT_CAPATH, paths.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXY_CAPATH, paths.c_str());
  }
}

// The curl header list for the request's fields. The transport owns the
// framing: Content-Length comes from the body, Transfer-Encoding and Expect
// are never sent, and curl's default form Content-Type is held back.
curl_slist* headerList(const MutableURLRequest& request) {
  curl_slist* list = nullptr;
  for (const auto& [name, value] : request.allHTTPHeaderFields()) {
    if (sameHeaderName(name, "Content-Length") || sameHeaderName(name, "Transfer-Encoding") ||
        sameHeaderName(name, "Expect")) {
      continue;
    }
    // "Name:" would tell curl to drop the field; "Name;" sends it empty.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    list = curl_slist_append(list, line.c_str());
  }
  list = curl_slist_append(list, "Expect:");
  if (!request.valueForHTTPHeaderField("Content-Type")) {
    list = curl_slist_append(list, "Content-Type:");
  }
  return list;
}

// Collects header lines into response heads, keeps the body up to its limit,
// holds each phase to its bounds and feeds the observer.
class Exchange {
 public:
  Exchange(const MutableURLRequest& request, HTTPExchangeObserver& observer)
      : request_(request),
        observer_(observer),
        watch_(ExchangeLimits::forTimeout(request.timeoutInterval())) {
    if (request.HTTPBody()) reader_ = std::make_unique<RequestBody::Reader>(*request.HTTPBody());
  }

  std::optional<Error> run();

 private:
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onData(char* data, size_t size, size_t count, void* self);
  static size_t onRead(char* buffer, size_t size, size_t count, void* self);
  static int onSeek(void* self, curl_off_t offset, int origin);
  static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static int onConnected(void* self, char*, char*, int, int);
  static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int onCloseSocket(void* self, curl_socket_t socket);

  ExchangeSample sample();
  // Whether the exchange keeps to the bounds of its phase.
  bool withinBounds();
  bool headerLine(std::string_view line);
  void addFieldLine(std::string_view line);
  bool endOfHead();
  bool keepBody(const char* data, std::size_t size);
  void configureMethodAndBody(CURL* easy);
  std::optional<Error> result(CURLcode code, const char* details) const;

  const MutableURLRequest& request_;
  HTTPExchangeObserver& observer_;
  CURL* easy_ = nullptr;
  std::vector<int> sockets_;  // the sockets curl has open for the exchange
  DeliveryTally delivery_;
  std::unique_ptr<RequestBody::Reader> reader_;
  bool readFailed_ = false;
  bool inHead_ = false;
  PhaseWatch watch_;
  // Request body bytes curl handed over; answer bytes (head and body) it
  // passed on.
  std::uint64_t uploaded_ = 0, downloaded_ = 0;
  URLResponse head_;
  std::string lastField_;
  Bytes body_;  // the body bytes kept so far
  bool bodyOverLimit_ = false;
};

std::optional<Error> Exchange::run() {
  initialiseCurl();
  std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
  if (!easy) return curlError(CURLE_FAILED_INIT, nullptr);
  CURL* e = easy_ = easy.get();
  char details[CURL_ERROR_SIZE] = "";
  const double timeout = request_.timeoutInterval();
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, details);
  curl_easy_setopt(e, CURLOPT_URL, request_.url()->absoluteString().c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  // No low-speed limit or overall time-out of curl's own: it judges by the
  // bytes curl moved, which stand still while a body leaves the socket
  // buffer; the phase watch of the progress callback decides instead.
  // Connecting (TLS and proxy tunnels included) is curl's to bound.
  if (timeout > 0) {
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout * 1000));
  }
  std::string trustBlob;
  addEnvironmentTrust(e, trustBlob);
  configureMethodAndBody(e);
  std::unique_ptr<curl_slist, ListFree> headers(headerList(request_));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onData);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, onConnected);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
  CURLcode code = curl_easy_perform(e);
  easy_ = nullptr;
  if (!body_.empty()) observer_.exchangeReceivedBody(std::move(body_));
  return result(code, details);
}

std::optional<Error> Exchange::result(CURLcode code, const char* details) const {
  if (code == CURLE_OK) return std::nullopt;
  if (readFailed_) {
    return curlError(CURLE_READ_ERROR, "The request body could not be read to its end");
  }
  // The answer is complete once as much of it is kept as ever will be.
  if (bodyOverLimit_ && code == CURLE_WRITE_ERROR) return std::nullopt;
  const ExchangeLimits& limits = watch_.limits();
  switch (watch_.breach()) {
    case ExchangeBreach::SendTooSlow:
      return timeOut(format("the peer acknowledged less than %@ bytes of the request in %@ seconds",
                            limits.sendMinimum, wholeSeconds(limits.sendWindow.count())));
    case ExchangeBreach::AnswerTooLong:
      return timeOut(format("the answer was not complete %@ seconds after the request was sent",
                            wholeSeconds(limits.answerTotal.count())));
    case ExchangeBreach::AnswerSilent:
      return timeOut(format("no byte of the answer for %@ seconds",
                            wholeSeconds(limits.answerSilence.count())));
    case ExchangeBreach::None:
      break;
  }
  if (code == CURLE_OPERATION_TIMEDOUT && watch_.phase() == ExchangePhase::Connecting) {
    return timeOut(
        format("no connection within %@ seconds", wholeSeconds(request_.timeoutInterval())));
  }
  return curlError(code, details);
}

void Exchange::configureMethodAndBody(CURL* e) {
  const std::string& method = request_.HTTPMethod();
  bool sendsBody = reader_ || method == "POST" || method == "PUT" || method == "PATCH";
  if (sendsBody) {
    curl_off_t size = reader_ ? static_cast<curl_off_t>(request_.HTTPBody()->size()) : 0;
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, size);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, this);
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, onSeek);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, this);
    if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method == "GET") {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
}

size_t Exchange::onHeader(char* data, size_t size, size_t count, void* self) {
  auto* exchange = static_cast<Exchange*>(self);
  std::string_view line(data, size * count);
  return exchange->headerLine(line) ? size * count : 0;
}

bool Exchange::headerLine(std::string_view line) {
  downloaded_ += line.size();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  // curl has read the status line before it hands it over; a line it
  // cannot read ends the exchange with its error before any head is made.
  if (line.starts_with("HTTP/")) {
    head_ = URLResponse{request_.url(), true, 0, {}};
    inHead_ = true;
    lastField_.clear();
    return true;
  }
  if (!inHead_) return true;  // trailers after the body
  if (line.empty()) {
    inHead_ = false;
    long code = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
    head_.statusCode = code > 0 ? static_cast<std::uint64_t>(code) : 0;
    if (head_.statusCode < 200) return true;
    // A final head answers the request, however much of it the peer read.
    watch_.startAnswer(sample(), PhaseWatch::Clock::now());
    return endOfHead();
  }
  addFieldLine(line);
  return true;
}

void Exchange::addFieldLine(std::string_view line) {
  if (line.front() == ' ' || line.front() == '\t') {  // a folded continuation
    if (!lastField_.empty()) head_.allHeaderFields[lastField_].append(" ").append(line);
    return;
  }
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  std::string name(line.substr(0, colon));
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  auto [it, added] = head_.allHeaderFields.try_emplace(name, value);
  if (!added) it->second.append(", ").append(value);
  lastField_ = name;
}

// The realm="..." parameter of a challenge, if any.
std::optional<std::string> realmOf(const std::string& challenge) {
  std::size_t at = challenge.find("realm=\"");
  if (at == std::string::npos) return std::nullopt;
  std::size_t start = at + 7, end = challenge.find('"', start);
  if (end == std::string::npos) return std::nullopt;
  return challenge.substr(start, end - start);
}

bool Exchange::endOfHead() {
  bool proxy = head_.statusCode == 407;
  std::optional<std::string> challenge;
  if (head_.statusCode == 401)
    challenge = headerFieldValue(head_.allHeaderFields, "WWW-Authenticate");
  if (proxy) challenge = headerFieldValue(head_.allHeaderFields, "Proxy-Authenticate");
  if (challenge) {
    ProtectionSpace space;
    space.host = request_.url()->host();
    space.port = request_.url()->port();
    space.protocol = request_.url()->scheme();
    space.realm = realmOf(*challenge);
    space.isProxy = proxy;
    std::string scheme = challenge->substr(0, challenge->find(' '));
    space.authenticationMethod = sameHeaderName(scheme, "Basic") ? kAuthenticationMethodHTTPBasic
                                 : sameHeaderName(scheme, "Digest")
                                     ? kAuthenticationMethodHTTPDigest
                                     : kAuthenticationMethodDefault;
    if (!observer_.exchangeReceivedChallenge(space)) return false;
  }
  return observer_.exchangeReceivedHead(head_);
}

size_t Exchange::onData(char* data, size_t size, size_t count, void* self) {
  auto* exchange = static_cast<Exchange*>(self);
  if (!exchange->observer_.exchangeShouldContinue()) return 0;
  exchange->downloaded_ += size * count;
  return exchange->keepBody(data, size * count) ? size * count : 0;
}

// False, with nothing kept, for a body longer than the limit: the exchange
// stops reading there.
bool Exchange::keepBody(const char* data, std::size_t size) {
  if (size > kKeptResponseBodyLimit - body_.size()) {
    bodyOverLimit_ = true;
    Bytes().swap(body_);  // gives the memory back as well
    return false;
  }
  body_.insert(body_.end(), data, data + size);
  return true;
}

size_t Exchange::onRead(char* buffer, size_t size, size_t count, void* self) {
  auto* exchange = static_cast<Exchange*>(self);
  if (!exchange->reader_) return 0;
  std::optional<std::size_t> got =
      exchange->reader_->read(reinterpret_cast<std::uint8_t*>(buffer), size * count);
  if (!got) {
    exchange->readFailed_ = true;
    return CURL_READFUNC_ABORT;
  }
  return *got;
}

int Exchange::onSeek(void* self, curl_off_t offset, int origin) {
  auto* exchange = static_cast<Exchange*>(self);
  if (offset != 0 || origin != SEEK_SET || !exchange->reader_) return CURL_SEEKFUNC_CANTSEEK;
  exchange->reader_->rewind();
  return CURL_SEEKFUNC_OK;
}

int Exchange::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* exchange = static_cast<Exchange*>(self);
  if (!exchange->observer_.exchangeShouldContinue()) return 1;
  exchange->uploaded_ = static_cast<std::uint64_t>(uploaded);
  return exchange->withinBounds() ? 0 : 1;
}

// Called once the connection is ready, before the request goes out.
int Exchange::onConnected(void* self, char*, char*, int, int) {
  auto* exchange = static_cast<Exchange*>(self);
  exchange->watch_.startSending(exchange->sample(), PhaseWatch::Clock::now());
  return CURL_PREREQFUNC_OK;
}

// What the exchange moved so far. Answer bytes count as the socket shows
// them arrive and as curl passes them on, so that neither a head nor a TLS
// record trickling in goes unseen.
ExchangeSample Exchange::sample() {
  for (int socket : sockets_) delivery_.see(socket, socketDelivery(socket));
  return ExchangeSample{delivery_.acknowledged(uploaded_), delivery_.received() + downloaded_};
}

// The request is sent once curl handed over all of its body and the peer
// acknowledged every byte.
bool Exchange::withinBounds() {
  ExchangeSample now = sample();
  std::uint64_t bodySize = reader_ ? request_.HTTPBody()->size() : 0;
  if (request_.uploadProgressHandler() && watch_.phase() == ExchangePhase::Sending)
    request_.uploadProgressHandler()(std::min(now.acknowledged, bodySize), bodySize);
  if (watch_.phase() == ExchangePhase::Sending && uploaded_ >= bodySize &&
      !delivery_.holdsUnacknowledged())
    watch_.startAnswer(now, PhaseWatch::Clock::now());
  return watch_.check(now, PhaseWatch::Clock::now()) == ExchangeBreach::None;
}

// curl tells which socket a transfer uses only once it is over, so the
// exchange opens and closes its sockets itself and watches every one open:
// plain or TLS, to the server or to a proxy.
curl_socket_t Exchange::onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
  int socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (socket < 0) return CURL_SOCKET_BAD;
  static_cast<Exchange*>(self)->sockets_.push_back(socket);
  return socket;
}

int Exchange::onCloseSocket(void* self, curl_socket_t socket) {
  auto* exchange = static_cast<Exchange*>(self);
  exchange->delivery_.see(socket, socketDelivery(socket));
  exchange->delivery_.forget(socket);
  std::vector<int>& sockets = exchange->sockets_;
  sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
  return close(socket);
}

}  // namespace

std::optional<Error> performHTTPExchange(const MutableURLRequest& request,
                                         HTTPExchangeObserver& observer) {
  if (std::optional<Error> refused = refusal(request)) return refused;
  Exchange exchange(request, observer);
  return exchange.run();
}

std::optional<ProtectionSpace> serverTrustSpaceFor(const MutableURLRequest& request) {
  if (!request.url() || request.url()->scheme() != "https") return std::nullopt;
  ProtectionSpace space;
  space.host = request.url()->host();
  space.port = request.url()->port();
  space.protocol = "https";
  space.authenticationMethod = kAuthenticationMethodServerTrust;
  space.serverTrust = ServerTrust{space.host, space.port};
  return space;
}

}  // namespace platform
