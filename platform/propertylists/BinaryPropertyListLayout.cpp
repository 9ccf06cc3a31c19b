#include "platform/propertylists/BinaryPropertyListLayout.h"

#include <cstring>
#include <limits>

namespace platform {

namespace {

constexpr std::uint64_t kHeaderSize = 8;
constexpr std::uint64_t kTrailerSize = 32;

std::uint64_t bigEndian(const std::uint8_t* bytes, unsigned width) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

// Whether `value` itself can be written in `width` bytes, as Apple's reader
// asks of the object count and of the offset table's start.
bool isWritableIn(unsigned width, std::uint64_t value) {
  return width >= 8 || value < (std::uint64_t{1} << (8 * width));
}

// Kinds whose marker states a count, with 15 meaning "an integer follows":
// data, both string forms, array, ordered set, set and dictionary.
bool statesACount(unsigned kind) {
  return kind == 0x4 || kind == 0x5 || kind == 0x6 || (kind >= 0xA && kind <= 0xD);
}

}  // namespace

std::optional<BinaryPropertyListLayout> BinaryPropertyListLayout::of(const Bytes& data) {
  // Apple's reader takes any version byte after "bplist0" as this format.
  if (data.size() < kHeaderSize + 1 + kTrailerSize || std::memcmp(data.data(), "bplist0", 7) != 0)
    return std::nullopt;
  const std::uint8_t* trailer = data.data() + data.size() - kTrailerSize;
  BinaryPropertyListLayout layout(data);
  layout.offsetSize_ = trailer[6];
  layout.referenceSize_ = trailer[7];
  layout.objects_ = bigEndian(trailer + 8, 8);
  layout.top_ = bigEndian(trailer + 16, 8);
  layout.offsetTable_ = bigEndian(trailer + 24, 8);
  if (!layout.trailerDescribesTheBytes() || !layout.offsetsLieBeforeTheTable()) return std::nullopt;
  return layout;
}

// The offset table runs from its start to the trailer exactly, at least one
// byte of objects lies before it, and its numbers and the references are
// wide enough for what they name.
bool BinaryPropertyListLayout::trailerDescribesTheBytes() const {
  const std::uint64_t trailerStart = data_->size() - kTrailerSize;
  if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) return false;
  if (objects_ == 0 || top_ >= objects_) return false;
  if (offsetTable_ <= kHeaderSize || offsetTable_ >= trailerStart) return false;
  const std::uint64_t tableSize = trailerStart - offsetTable_;
  if (tableSize % offsetSize_ != 0 || tableSize / offsetSize_ != objects_) return false;
  return isWritableIn(referenceSize_, objects_) && isWritableIn(offsetSize_, offsetTable_);
}

bool BinaryPropertyListLayout::offsetsLieBeforeTheTable() const {
  const std::uint8_t* entry = bytesAt(offsetTable_);
  for (std::uint64_t i = 0; i < objects_; ++i, entry += offsetSize_)
    if (bigEndian(entry, offsetSize_) >= offsetTable_) return false;
  return true;
}

std::optional<std::uint64_t> BinaryPropertyListLayout::offsetOf(std::uint64_t object) const {
  if (object >= objects_) return std::nullopt;
  const std::uint64_t offset = bigEndian(bytesAt(offsetTable_ + object * offsetSize_), offsetSize_);
  if (offset < kHeaderSize) return std::nullopt;
  return offset;
}

std::optional<BinaryObjectHead> BinaryPropertyListLayout::headAt(std::uint64_t offset) const {
  BinaryObjectHead head{(*data_)[offset], 0, offset + 1};
  head.count = head.marker & 0x0fu;
  if (!statesACount(head.kind()) || head.count != 0x0f) return head;
  return withStatedCount(head);
}

// The count from the integer object after the marker: 1, 2, 4, 8 or 16
// bytes, of which the last 8 count.
std::optional<BinaryObjectHead> BinaryPropertyListLayout::withStatedCount(
    BinaryObjectHead head) const {
  if (!fits(head.contents, 1)) return std::nullopt;
  const std::uint8_t marker = (*data_)[head.contents];
  if ((marker >> 4) != 0x1 || (marker & 0x0f) > 4) return std::nullopt;
  const unsigned width = 1u << (marker & 0x0f);
  if (!fits(head.contents + 1, width)) return std::nullopt;
  head.count = number(head.contents + 1 + (width > 8 ? width - 8 : 0), width > 8 ? 8 : width);
  if (head.count > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return std::nullopt;
  head.contents += 1 + width;
  return head;
}

std::optional<std::uint64_t> BinaryPropertyListLayout::referenceCount(
    const BinaryObjectHead& container) const {
  std::uint64_t count = container.count;
  if (container.kind() == 0xD) {
    if (count > std::numeric_limits<std::uint64_t>::max() / 2) return std::nullopt;
    count *= 2;
  }
  if (container.contents > offsetTable_ ||
      count > (offsetTable_ - container.contents) / referenceSize_)
    return std::nullopt;
  return count;
}

std::optional<std::uint64_t> BinaryPropertyListLayout::reference(std::uint64_t start,
                                                                 std::uint64_t i) const {
  const std::uint64_t object = number(start + i * referenceSize_, referenceSize_);
  if (object >= objects_) return std::nullopt;
  return object;
}

bool BinaryPropertyListLayout::fits(std::uint64_t at, std::uint64_t length) const {
  return at <= offsetTable_ && length <= offsetTable_ - at;
}

std::uint64_t BinaryPropertyListLayout::number(std::uint64_t at, unsigned width) const {
  return bigEndian(bytesAt(at), width);
}

}  // namespace platform
