#include "platform/Digest.h"

#include <openssl/evp.h>

namespace platform {

namespace {

template <size_t N>
std::array<std::uint8_t, N> digest(const EVP_MD* kind, const void* data, std::uint32_t length) {
  std::array<std::uint8_t, N> out{};
  unsigned int size = 0;
  static const std::uint8_t empty = 0;
  EVP_Digest(length ? data : &empty, length, out.data(), &size, kind, nullptr);
  return out;
}

}  // namespace

MD5Digest md5(const void* data, std::uint32_t length) {
  return digest<16>(EVP_md5(), data, length);
}

SHA1Digest sha1(const void* data, std::uint32_t length) {
  return digest<20>(EVP_sha1(), data, length);
}

std::string lowercaseHex(const std::uint8_t* bytes, std::size_t count) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

}  // namespace platform
