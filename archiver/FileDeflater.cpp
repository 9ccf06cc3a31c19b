#include "archiver/FileDeflater.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace archiver {

namespace {

constexpr size_t kReadSize = 1 << 20;
constexpr int kLevel = 6;

// Fills BUFFER with LENGTH bytes from OFFSET; false with *error at a read
// failure or an early end.
bool readAt(int fd, unsigned char* buffer, size_t length, uint64_t offset, const std::string& path,
            std::string* error) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path + ": cannot read: " + std::strerror(errno);
      return false;
    }
    if (n == 0) {
      *error = path + ": the file shrank while it was being archived";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool deflateFile(int fd, uint64_t size, const std::string& path, OutputFile& out,
                 DeflateResult* result, std::string* error) {
  z_stream stream{};
  if (deflateInit2(&stream, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    *error = "cannot start compressing " + path;
    return false;
  }
  std::vector<unsigned char> input(kReadSize);
  std::vector<unsigned char> output(deflateBound(&stream, kReadSize));
  uLong crc = crc32(0, nullptr, 0);
  uint64_t before = out.offset();
  bool ok = true;
  for (uint64_t offset = 0; ok;) {
    size_t length = size - offset < kReadSize ? static_cast<size_t>(size - offset) : kReadSize;
    if (!readAt(fd, input.data(), length, offset, path, error)) {
      ok = false;
      break;
    }
    crc = crc32(crc, input.data(), static_cast<uInt>(length));
    offset += length;
    int flush = offset == size ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(length);
    int rc;
    do {
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      rc = deflate(&stream, flush);
      ok = out.write(output.data(), output.size() - stream.avail_out, error);
    } while (ok && (stream.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END)));
    if (flush == Z_FINISH) break;
  }
  deflateEnd(&stream);
  result->crc = static_cast<uint32_t>(crc);
  result->compressedSize = out.offset() - before;
  return ok;
}

}  // namespace archiver
