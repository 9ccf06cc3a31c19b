#pragma once

// The frame of binary property-list bytes ("bplist0" and a version byte):
// the trailer at the end, the table of object offsets before it and the
// objects between the header and the table. Every read is bounded by the
// object area, and the trailer is held to what Apple's reader demands of it,
// so a list that reader refuses is refused here before any object is read.

#include <cstdint>
#include <optional>

#include "platform/Value.h"

namespace platform {

// The start of one object: its marker byte, the count the marker states
// (or, when it states 15, the integer object after it), and where the
// object's contents begin.
struct BinaryObjectHead {
  std::uint8_t marker = 0;
  std::uint64_t count = 0;
  std::uint64_t contents = 0;

  unsigned kind() const { return marker >> 4; }
  bool isContainer() const { return kind() == 0xA || kind() == 0xC || kind() == 0xD; }
};

class BinaryPropertyListLayout {
 public:
  // Nothing for bytes without the header, a trailer that does not describe
  // them, or an offset table naming a place past the objects.
  static std::optional<BinaryPropertyListLayout> of(const Bytes& data);

  std::uint64_t objectCount() const { return objects_; }
  std::uint64_t topObject() const { return top_; }

  // Where the object starts; nothing when that is inside the header.
  std::optional<std::uint64_t> offsetOf(std::uint64_t object) const;

  // The head of the object at `offset` (from offsetOf); nothing when its
  // count does not lie inside the object area.
  std::optional<BinaryObjectHead> headAt(std::uint64_t offset) const;

  // How many references a container's contents hold (a dictionary's keys,
  // then its values); nothing when they do not lie inside the object area.
  std::optional<std::uint64_t> referenceCount(const BinaryObjectHead& container) const;

  // The object named by the i-th reference from `start`, one of a
  // referenceCount(); nothing when there is no such object.
  std::optional<std::uint64_t> reference(std::uint64_t start, std::uint64_t i) const;

  // Whether `length` bytes from `at` lie inside the object area.
  bool fits(std::uint64_t at, std::uint64_t length) const;

  // The big-endian number in the `width` (1 to 8) bytes at `at`, which fits().
  std::uint64_t number(std::uint64_t at, unsigned width) const;

  const std::uint8_t* bytesAt(std::uint64_t at) const { return data_->data() + at; }

 private:
  explicit BinaryPropertyListLayout(const Bytes& data) : data_(&data) {}
  bool trailerDescribesTheBytes() const;
  bool offsetsLieBeforeTheTable() const;
  std::optional<BinaryObjectHead> withStatedCount(BinaryObjectHead head) const;

  const Bytes* data_;
  unsigned offsetSize_ = 0;     // bytes per entry of the offset table
  unsigned referenceSize_ = 0;  // bytes per object reference
  std::uint64_t objects_ = 0;
  std::uint64_t top_ = 0;
  std::uint64_t offsetTable_ = 0;  // also the end of the object area
};

// binaryPropertyListIsWithinBounds (PropertyListBounds.h) on a layout
// already read.
bool binaryPropertyListIsWithinBounds(const BinaryPropertyListLayout& layout);

}  // namespace platform
