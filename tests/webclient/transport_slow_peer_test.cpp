// The transport against peers that take an upload slowly, or stop taking
// it, or answer slowly, with a short time-out so that the cases stay quick.
// The servers have small receive buffers, so that the peer's
// acknowledgements follow its reading; the client's kernel takes the whole
// body at once, so the transfer library's own byte counts stand still for
// longer than the time-out, which some tests check on the server's side.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Format.h"
#include "platform/urlloading/HTTPTransportConnection.h"
#include "platform/urlloading/HTTPTransportSocketDelivery.h"
#include "tests/support/LoopbackHTTPServer.h"
#include "tests/support/SlowReaderServer.h"
#include "tests/support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;

const double kTimeout = 2.0;
const std::size_t kBodySize = 1100 * 1024;

struct Outcome {
  std::optional<platform::URLResponse> head;
  std::optional<platform::Error> error;
  Clock::time_point end;
};

// POSTs kBodySize bytes to URL with the idle time-out kTimeout.
Outcome post(const std::string& url) {
  platform::MutableURLRequest request =
      platform::MutableURLRequest::requestWithURL_cachePolicy_timeoutInterval(
          platform::URL::URLWithString(url), platform::kURLRequestReloadIgnoringLocalCacheData,
          kTimeout);
  request.setHTTPMethod("POST");
  auto body = std::make_shared<platform::RequestBody>();
  body->appendBytes(platform::Bytes(kBodySize, 0x5a));
  request.setHTTPBody(body);
  Outcome outcome;
  platform::URLConnection::sendSynchronousRequest_returningResponse_error(request, &outcome.head,
                                                                          &outcome.error);
  outcome.end = Clock::now();
  return outcome;
}

double seconds(Clock::duration span) { return duration<double>(span).count(); }

TEST(TransportSlowPeer, UploadThePeerKeepsTakingIsNotCutOff) {
  testsupport::SlowReaderOptions options;
  options.bytesPerTick = 48 * 1024;
  options.tick = std::chrono::milliseconds(250);
  testsupport::SlowReaderServer server(options);
  Outcome outcome = post(server.baseURL() + "/slow");
  EXPECT_FALSE(outcome.error.has_value()) << platform::format("%@", outcome.error);
  ASSERT_TRUE(outcome.head.has_value());
  EXPECT_EQ(outcome.head->statusCode, 201u);
  auto connections = server.connections();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(connections[0].bodyRead, kBodySize);
  EXPECT_TRUE(connections[0].answered);
  // The case that matters: all of the body was in the kernel's hands well
  // over a time-out before the reader had it.
  EXPECT_GT(seconds(connections[0].bodyInKernelBeforeEnd), kTimeout + 1);
}

TEST(TransportSlowPeer, PeerThatStopsTakingTheUploadEndsItAfterTheTimeOut) {
  testsupport::SlowReaderOptions options;
  options.bytesPerTick = 48 * 1024;
  options.tick = std::chrono::milliseconds(250);
  options.stopReadingAfter = 200 * 1024;
  testsupport::SlowReaderServer server(options);
  Outcome outcome = post(server.baseURL() + "/stops");
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_EQ(outcome.error->domain, "CURLErrorDomain");
  EXPECT_EQ(outcome.error->code, 28);
  EXPECT_FALSE(outcome.head.has_value());
  auto connections = server.connections();
  ASSERT_EQ(connections.size(), 1u);
  ASSERT_TRUE(connections[0].stoppedReading.has_value());
  double afterStop = seconds(outcome.end - *connections[0].stoppedReading);
  EXPECT_GE(afterStop, kTimeout - 0.2);
  EXPECT_LE(afterStop, kTimeout + 2.5);
}

TEST(TransportSlowPeer, UploadThePeerKeepsTakingOverTLSIsNotCutOff) {
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::makeSelfSignedCertificate(dir / "cert.pem", dir / "key.pem"));
  testsupport::ScopedEnvironmentVariable trust("SSL_CERT_FILE", dir / "cert.pem");
  testsupport::ServerOptions options;
  options.certificatePath = dir / "cert.pem";
  options.keyPath = dir / "key.pem";
  options.keepBodies = false;
  options.pausePerBodyPiece = std::chrono::milliseconds(20);  // about 200 KB/s
  testsupport::LoopbackHTTPServer server(options);
  server.setHandler([](const testsupport::ReceivedRequest&) {
    testsupport::Reply reply;
    reply.status = 201;
    return reply;
  });
  Outcome outcome = post(server.baseURL() + "/slow");
  EXPECT_FALSE(outcome.error.has_value()) << platform::format("%@", outcome.error);
  ASSERT_TRUE(outcome.head.has_value());
  EXPECT_EQ(outcome.head->statusCode, 201u);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].bodyLength, kBodySize);
  EXPECT_GT(seconds(server.requests()[0].bodyInKernelBeforeEnd), kTimeout + 1);
}

// A peer that reads bodies at once and answers with ANSWER.
testsupport::SlowReaderOptions answering(testsupport::SlowReaderOptions::SlowAnswer answer) {
  testsupport::SlowReaderOptions options;
  options.bytesPerTick = 1 << 30;
  options.slowAnswer = std::move(answer);
  return options;
}

std::string times(int count, const std::string& text) {
  std::string all;
  while (count-- > 0) all += text;
  return all;
}

TEST(TransportSlowPeer, AnswerEndsAfterTwiceTheTimeOutInAllOrOneWithoutAByte) {
  using namespace std::chrono_literals;
  const std::string head201 = "HTTP/1.1 201 Created\r\nContent-Length: 1000\r\n\r\n";
  struct Row {
    const char* peer;
    testsupport::SlowReaderOptions::SlowAnswer answer;
    std::uint64_t status;  // 0: no final head
    const char* error;
    double endsAfter;
  } rows[] = {
      {"body trickles",
       {"", head201, std::string(1000, 'b'), 1, 250ms},
       201,
       "the answer was not complete 4 seconds after the request was sent",
       4},
      {"interim answers",
       {"", "", times(100, "HTTP/1.1 102 Processing\r\n\r\n"), 28, 250ms},
       0,
       "the answer was not complete 4 seconds after the request was sent",
       4},
      {"slow head",
       {"", "", "HTTP/1.1 201 Created\r\nX-Padding: " + std::string(200, 'p'), 1, 250ms},
       0,
       "the answer was not complete 4 seconds after the request was sent",
       4},
      {"body stops",
       {"", head201 + "b", "b", 1, 60s},
       201,
       "no byte of the answer for 2 seconds",
       2},
  };
  for (const Row& row : rows) {
    testsupport::SlowReaderServer server(answering(row.answer));
    Outcome outcome = post(server.baseURL() + "/answer");
    ASSERT_TRUE(outcome.error.has_value()) << row.peer;
    EXPECT_EQ(outcome.error->code, 28) << row.peer;
    EXPECT_EQ(outcome.error->localizedDescription, std::string("Operation timed out: ") + row.error)
        << row.peer;
    EXPECT_EQ(outcome.head ? outcome.head->statusCode : 0, row.status) << row.peer;
    auto connections = server.connections();
    ASSERT_EQ(connections.size(), 1u) << row.peer;
    double after = seconds(outcome.end - connections[0].lastBodyByte.value());
    EXPECT_GE(after, row.endsAfter - 0.2) << row.peer;
    EXPECT_LE(after, row.endsAfter + 2.5) << row.peer;
  }
}

TEST(TransportSlowPeer, PeerThatTakesLessThan16KiBInTheTimeOutEndsTheUpload) {
  testsupport::SlowReaderOptions options;
  options.bytesPerTick = 500;
  options.receiveBuffer = 4096;
  testsupport::SlowReaderServer server(options);
  auto start = Clock::now();
  Outcome outcome = post(server.baseURL() + "/slow");
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_EQ(outcome.error->localizedDescription,
            "Operation timed out: the peer acknowledged less than 16384 bytes of the request in 2 "
            "seconds");
  EXPECT_FALSE(outcome.head.has_value());
  EXPECT_LT(server.connections().at(0).bodyRead, 16u * 1024);
  EXPECT_LE(seconds(outcome.end - start), kTimeout + 2.5);
}

// A listening socket on a free port of 127.0.0.1 with the given backlog and,
// when not 0, receive buffer; its address in *ADDRESS. -1 when it fails.
int loopbackListener(int backlog, int receiveBuffer, sockaddr_in* address) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receiveBuffer)
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
  address->sin_family = AF_INET;
  address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(*address);
  if (bind(listener, reinterpret_cast<sockaddr*>(address), sizeof(*address)) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(address), &length) != 0 ||
      listen(listener, backlog) != 0) {
    close(listener);
    return -1;
  }
  return listener;
}

TEST(TransportSlowPeer, ConnectionNotMadeWithinTheTimeOutEnds) {
  // A listener whose queue is full drops further connection requests.
  sockaddr_in address{};
  int listener = loopbackListener(0, 0, &address);
  ASSERT_GE(listener, 0);
  std::vector<int> queued;
  for (int i = 0; i < 3; ++i) {
    queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    connect(queued.back(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
  }
  auto start = Clock::now();
  Outcome outcome = post("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/");
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_EQ(outcome.error->localizedDescription,
            "Operation timed out: no connection within 2 seconds");
  EXPECT_GE(seconds(outcome.end - start), kTimeout - 0.2);
  EXPECT_LE(seconds(outcome.end - start), kTimeout + 2.5);
  for (int fd : queued) close(fd);
  close(listener);
}

TEST(TransportSlowPeer, LongAnswerIsReadOnlyUpToTheKeptLimit) {
  const std::uint64_t kAnswer = 300ull << 20;
  testsupport::SlowReaderServer server(answering(
      {"", "HTTP/1.1 201 Created\r\nContent-Length: " + std::to_string(kAnswer) + "\r\n\r\n",
       std::string(1 << 16, 'b'), 1 << 16, std::chrono::milliseconds(0), kAnswer >> 16}));
  Outcome outcome = post(server.baseURL() + "/long");
  EXPECT_FALSE(outcome.error.has_value()) << platform::format("%@", outcome.error);
  ASSERT_TRUE(outcome.head.has_value());
  EXPECT_EQ(outcome.head->statusCode, 201u);
  // Whatever the kernels' buffers took, far less than the whole answer left.
  EXPECT_LT(server.connections().at(0).answerSent, 64u << 20);
}

TEST(SocketDelivery, NoSocketTellsNothing) {
  EXPECT_EQ(platform::socketDelivery(-1), platform::SocketDelivery{});
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(platform::socketDelivery(fds[0]), platform::SocketDelivery{});
  close(fds[0]);
  close(fds[1]);
}

TEST(SocketDelivery, FollowsWhatThePeerTakes) {
  sockaddr_in address{};
  int listener = loopbackListener(1, 16 * 1024, &address);
  ASSERT_GE(listener, 0);
  int sender = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  int receiver = accept(listener, nullptr, nullptr);
  fcntl(sender, F_SETFL, O_NONBLOCK);
  std::vector<char> data(512 * 1024, 'd');
  std::size_t written = 0;
  for (ssize_t put; (put = write(sender, data.data() + written, data.size() - written)) > 0;)
    written += static_cast<std::size_t>(put);
  ASSERT_GT(written, 128u * 1024);

  platform::SocketDelivery unread = platform::socketDelivery(sender);
  ASSERT_TRUE(unread.bytesAcknowledged && unread.bytesQueued);
  EXPECT_LT(*unread.bytesAcknowledged, written);
  // The kernel counts the connection's SYN as one acknowledged byte.
  EXPECT_EQ(*unread.bytesAcknowledged + *unread.bytesQueued, written + 1);

  for (std::size_t taken = 0; taken < written;) {
    ssize_t got = read(receiver, data.data(), data.size());
    ASSERT_GT(got, 0);
    taken += static_cast<std::size_t>(got);
  }
  platform::SocketDelivery taken = platform::socketDelivery(sender);
  for (int i = 0; i < 100 && taken.bytesQueued != 0u; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    taken = platform::socketDelivery(sender);
  }
  EXPECT_EQ(taken.bytesAcknowledged, written + 1);
  EXPECT_EQ(taken.bytesQueued, 0u);
  close(receiver);
  close(sender);
  close(listener);
}

}  // namespace
