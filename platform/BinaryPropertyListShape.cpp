#include <cstring>
#include <optional>
#include <vector>

#include "platform/PropertyListBounds.h"

namespace platform {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;

// The fixed trailer at the end of a binary property list.
struct Trailer {
  unsigned offsetSize;     // bytes per entry of the offset table
  unsigned referenceSize;  // bytes per object reference
  std::uint64_t objects;
  std::uint64_t top;
  std::uint64_t offsetTable;
};

// A big-endian unsigned number of `width` bytes (1 to 8) at `at`; nothing
// when it does not lie inside `limit` bytes.
std::optional<std::uint64_t> bigEndian(const Bytes& data, std::uint64_t at, unsigned width,
                                       std::uint64_t limit) {
  if (width == 0 || width > 8 || at > limit || width > limit - at) return std::nullopt;
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | data[at + i];
  return value;
}

std::optional<Trailer> readTrailer(const Bytes& data) {
  if (data.size() < kHeaderSize + kTrailerSize) return std::nullopt;
  const std::uint64_t at = data.size() - kTrailerSize;
  Trailer trailer{data[at + 6], data[at + 7], *bigEndian(data, at + 8, 8, data.size()),
                  *bigEndian(data, at + 16, 8, data.size()),
                  *bigEndian(data, at + 24, 8, data.size())};
  const bool sizesValid = trailer.offsetSize >= 1 && trailer.offsetSize <= 8 &&
                          trailer.referenceSize >= 1 && trailer.referenceSize <= 8;
  if (!sizesValid || trailer.objects == 0 || trailer.top >= trailer.objects) return std::nullopt;
  if (trailer.offsetTable < kHeaderSize || trailer.offsetTable > at) return std::nullopt;
  if (trailer.objects > (at - trailer.offsetTable) / trailer.offsetSize) return std::nullopt;
  return trailer;
}

// The references of one container object: where they start and how many.
struct References {
  bool container = false;
  std::uint64_t start = 0;
  std::uint64_t count = 0;
};

// Walks the object graph depth first with an explicit stack, so that its
// own depth is bounded by the nesting limit, and each object once: a shared
// object's value count is kept and added at every further reference.
class ShapeScan {
 public:
  ShapeScan(const Bytes& data, const Trailer& trailer)
      : data_(data),
        trailer_(trailer),
        state_(trailer.objects, kUnseen),
        values_(trailer.objects) {}

  bool withinBounds() {
    auto top = enter(trailer_.top);
    if (!top) return false;
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      if (frame.next == frame.references.count) {
        if (!leave()) return false;
        continue;
      }
      auto child = reference(frame.references, frame.next++);
      if (!child || !visitChild(*child)) return false;
    }
    return total_ <= kPropertyListMaximumValues;
  }

 private:
  enum State : std::uint8_t { kUnseen, kOpen, kDone };
  struct Frame {
    std::uint64_t object;
    References references;
    std::uint64_t next = 0;
    std::uint64_t values = 1;
  };

  // The object's offset in the data; nothing when it lies outside the
  // object area between the header and the offset table.
  std::optional<std::uint64_t> offsetOf(std::uint64_t object) const {
    auto offset = bigEndian(data_, trailer_.offsetTable + object * trailer_.offsetSize,
                            trailer_.offsetSize, data_.size() - kTrailerSize);
    if (!offset || *offset < kHeaderSize || *offset >= trailer_.offsetTable) return std::nullopt;
    return offset;
  }

  std::optional<std::uint64_t> reference(const References& references, std::uint64_t i) const {
    auto object = bigEndian(data_, references.start + i * trailer_.referenceSize,
                            trailer_.referenceSize, trailer_.offsetTable);
    if (!object || *object >= trailer_.objects) return std::nullopt;
    return object;
  }

  // The references of the object at `offset` when it is an array, set or
  // dictionary (whose keys and values are both references); an empty list
  // for any other object; nothing when they do not fit.
  std::optional<References> referencesAt(std::uint64_t offset) const {
    const std::uint8_t marker = data_[offset];
    const unsigned kind = marker >> 4;
    if (kind != 0xA && kind != 0xB && kind != 0xC && kind != 0xD) return References{};
    std::uint64_t count = marker & 0x0f;
    std::uint64_t start = offset + 1;
    if (count == 0x0f) {
      if (start >= trailer_.offsetTable || (data_[start] & 0xf0) != 0x10 ||
          (data_[start] & 0x0f) > 3)
        return std::nullopt;
      const unsigned width = 1u << (data_[start] & 0x0f);
      auto stated = bigEndian(data_, start + 1, width, trailer_.offsetTable);
      if (!stated) return std::nullopt;
      count = *stated;
      start += 1 + width;
    }
    if (kind == 0xD) {
      if (count > UINT64_MAX / 2) return std::nullopt;
      count *= 2;
    }
    if (start > trailer_.offsetTable ||
        count > (trailer_.offsetTable - start) / trailer_.referenceSize)
      return std::nullopt;
    return References{true, start, count};
  }

  // Opens the object as a frame; false when it is malformed or too deep.
  bool enter(std::uint64_t object) {
    auto offset = offsetOf(object);
    if (!offset) return false;
    auto references = referencesAt(*offset);
    if (!references) return false;
    if (references->container && containers_ >= kPropertyListMaximumNesting) return false;
    if (references->container) ++containers_;
    state_[object] = kOpen;
    stack_.push_back(Frame{object, *references});
    return true;
  }

  bool visitChild(std::uint64_t child) {
    if (state_[child] == kOpen) return false;  // an object inside itself
    if (state_[child] == kDone) return addValues(values_[child]);
    return enter(child);
  }

  // Closes the top frame and adds its value count to its parent.
  bool leave() {
    Frame done = stack_.back();
    stack_.pop_back();
    state_[done.object] = kDone;
    if (done.references.container) --containers_;
    values_[done.object] = static_cast<std::uint32_t>(done.values);
    if (stack_.empty()) {
      total_ = done.values;
      return true;
    }
    return addValues(done.values);
  }

  bool addValues(std::uint64_t values) {
    Frame& parent = stack_.back();
    parent.values += values;
    return parent.values <= kPropertyListMaximumValues;
  }

  const Bytes& data_;
  const Trailer trailer_;
  std::vector<std::uint8_t> state_;
  std::vector<std::uint32_t> values_;
  std::vector<Frame> stack_;
  std::size_t containers_ = 0;  // open frames that are containers
  std::uint64_t total_ = 0;
};

}  // namespace

bool binaryPropertyListIsWithinBounds(const Bytes& data) {
  static const char kMagic[] = "bplist00";
  if (data.size() < kHeaderSize || std::memcmp(data.data(), kMagic, kHeaderSize) != 0) return false;
  auto trailer = readTrailer(data);
  if (!trailer) return false;
  return ShapeScan(data, *trailer).withinBounds();
}

}  // namespace platform
