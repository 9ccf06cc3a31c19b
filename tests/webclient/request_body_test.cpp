#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/urlloading/HTTPTransportBody.h"
#include "tests/support/TestSupport.h"
#include "tests/webclient/WebClientTestSupport.h"

namespace {

using webclienttest::bytes;
using webclienttest::Signal;
using webclienttest::text;

TEST(RequestBody, JoinsTextBytesAndFilesInOrder) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f", "FILE");
  platform::RequestBody body;
  body.appendText("a");
  body.appendBytes(bytes("b"));
  ASSERT_TRUE(body.appendFile(dir / "f"));
  body.appendText("c");
  EXPECT_EQ(body.size(), 7u);
  EXPECT_EQ(text(*body.readAll()), "abFILEc");
}

TEST(RequestBody, ReadsAFileInPiecesNoLargerThanAsked) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f", std::string(10000, 'x'));
  platform::RequestBody body;
  body.appendFile(dir / "f");
  platform::RequestBody::Reader reader(body);
  std::uint8_t buffer[4096];
  std::size_t total = 0;
  for (;;) {
    auto got = reader.read(buffer, sizeof(buffer));
    ASSERT_TRUE(got.has_value());
    if (*got == 0) break;
    EXPECT_LE(*got, sizeof(buffer));
    total += *got;
  }
  EXPECT_EQ(total, 10000u);
  reader.rewind();
  EXPECT_EQ(reader.read(buffer, 3), 3u);
}

TEST(RequestBody, MissingFileMarksTheBodyUnreadable) {
  testsupport::TempDir dir;
  platform::RequestBody body;
  EXPECT_FALSE(body.appendFile(dir / "missing"));
  EXPECT_FALSE(body.isReadable());
  EXPECT_EQ(body.unreadablePath(), dir / "missing");
  EXPECT_FALSE(body.readAll().has_value());
}

TEST(RequestBody, FIFOIsRefusedWithoutWaitingForAWriter) {
  testsupport::TempDir dir;
  std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  platform::RequestBody body;
  bool added = true;
  Signal done;
  std::thread adder([&] {
    added = body.appendFile(fifo);
    done.raise();
  });
  bool returned = done.wait();
  // A blocked open is released by a writer, so that the test always ends.
  if (!returned) close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
  adder.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(added);
  EXPECT_FALSE(body.isReadable());
  EXPECT_EQ(body.unreadablePath(), fifo);
}

TEST(RequestBody, FileThatShrankIsAReadFailure) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f", std::string(100, 'x'));
  platform::RequestBody body;
  body.appendFile(dir / "f");
  ASSERT_EQ(truncate((dir / "f").c_str(), 10), 0);
  EXPECT_FALSE(body.readAll().has_value());
  // Read piece by piece, as the transport reads it, the body never ends
  // short of the length it announced.
  platform::RequestBody::Reader reader(body);
  std::uint8_t buffer[8];
  std::optional<std::size_t> got;
  while ((got = reader.read(buffer, sizeof buffer)) && *got > 0) {
  }
  EXPECT_FALSE(got.has_value());
}

TEST(RequestBody, FileThatGrewGivesOnlyTheMeasuredBytes) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f", "12345");
  platform::RequestBody body;
  body.appendFile(dir / "f");
  testsupport::writeFile(dir / "f", "1234567890");
  EXPECT_EQ(text(*body.readAll()), "12345");
}

}  // namespace
