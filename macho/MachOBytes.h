#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

namespace machofile {

// A read-only range of image bytes. Every read is checked against the
// range first and copies the bytes out, so no read leaves the mapping and
// no misaligned word is ever dereferenced.
class ImageBytes {
 public:
  ImageBytes(const void* start, std::uint64_t size)
      : start_(static_cast<const std::uint8_t*>(start)), size_(start ? size : 0) {}

  const std::uint8_t* start() const { return start_; }
  std::uint64_t size() const { return size_; }

  // Whether `length` bytes from `offset` lie inside the range.
  bool contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // A copy of the value stored at `offset`; nothing when it does not fit.
  template <typename T>
  std::optional<T> read(std::uint64_t offset) const {
    if (!contains(offset, sizeof(T))) return std::nullopt;
    T value;
    std::memcpy(&value, start_ + offset, sizeof(T));
    return value;
  }

  // A 32-bit word in host order.
  std::optional<std::uint32_t> word(std::uint64_t offset) const {
    return read<std::uint32_t>(offset);
  }

  // A 32-bit word stored big-endian.
  std::optional<std::uint32_t> bigEndianWord(std::uint64_t offset) const {
    auto stored = word(offset);
    if (!stored) return std::nullopt;
    return fromBigEndian(*stored);
  }

  // A word read in host order from big-endian storage.
  static std::uint32_t fromBigEndian(std::uint32_t stored) { return __builtin_bswap32(stored); }
  static std::uint64_t fromBigEndian(std::uint64_t stored) { return __builtin_bswap64(stored); }
  static std::int32_t fromBigEndian(std::int32_t stored) {
    return static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(stored)));
  }

 private:
  const std::uint8_t* start_;
  std::uint64_t size_;
};

}  // namespace machofile
