#include "macho/MachOCommandByteOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "macho/MachOBytes.h"

namespace machofile {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Swaps each Word-wide field from `from` up to `to` that lies whole inside
// the copy.
template <typename Word>
void swapFields(Bytes& copy, std::size_t from, std::size_t to) {
  const std::size_t end = std::min(to, copy.size());
  for (std::size_t at = from; at + sizeof(Word) <= end; at += sizeof(Word)) {
    Word field;
    std::memcpy(&field, copy.data() + at, sizeof(Word));
    field = ImageBytes::fromBigEndian(field);
    std::memcpy(copy.data() + at, &field, sizeof(Word));
  }
}

// The words of a command from the end of its start to the end of Command.
template <typename Command>
void swapWordsAfterStart(Bytes& copy) {
  swapFields<std::uint32_t>(copy, sizeof(load_command), sizeof(Command));
}

// A segment's addresses and sizes (Address wide), the words after them,
// then each of its nsects sections that fits in the command: names stay,
// addresses and sizes are Address wide, the rest are words.
template <typename Segment, typename Section, typename Address>
void swapSegment(Bytes& copy) {
  swapFields<Address>(copy, offsetof(Segment, vmaddr), offsetof(Segment, maxprot));
  swapFields<std::uint32_t>(copy, offsetof(Segment, maxprot), sizeof(Segment));
  if (copy.size() < sizeof(Segment)) return;
  std::uint32_t nsects;
  std::memcpy(&nsects, copy.data() + offsetof(Segment, nsects), sizeof(nsects));
  std::size_t at = sizeof(Segment);
  for (std::uint32_t i = 0; i < nsects && at + sizeof(Section) <= copy.size(); ++i) {
    swapFields<Address>(copy, at + offsetof(Section, addr), at + offsetof(Section, offset));
    swapFields<std::uint32_t>(copy, at + offsetof(Section, offset), at + sizeof(Section));
    at += sizeof(Section);
  }
}

void swapBody(std::uint32_t cmd, Bytes& copy) {
  switch (cmd) {
    case LC_SEGMENT:
      return swapSegment<segment_command, section, std::uint32_t>(copy);
    case LC_SEGMENT_64:
      return swapSegment<segment_command_64, section_64, std::uint64_t>(copy);
    case LC_VERSION_MIN_MACOSX:
    case LC_VERSION_MIN_IPHONEOS:
    case LC_VERSION_MIN_TVOS:
    case LC_VERSION_MIN_WATCHOS:
      return swapWordsAfterStart<version_min_command>(copy);
    case LC_BUILD_VERSION:
      return swapWordsAfterStart<build_version_command>(copy);
    case LC_LOAD_DYLIB:
    case LC_ID_DYLIB:
    case LC_LOAD_WEAK_DYLIB:
    case LC_REEXPORT_DYLIB:
    case LC_LAZY_LOAD_DYLIB:
    case LC_LOAD_UPWARD_DYLIB:
      return swapWordsAfterStart<dylib_command>(copy);
    case LC_ENCRYPTION_INFO:
    case LC_ENCRYPTION_INFO_64:
      return swapWordsAfterStart<encryption_info_command>(copy);
    default:
      return;
  }
}

}  // namespace

void QVXMachOCopyCommandInHostOrder(const void* stored, const load_command& start,
                                    std::vector<std::uint8_t>& copy) {
  // A command shorter than its own start still hands the readers a whole start.
  const std::size_t size = std::max<std::size_t>(start.cmdsize, sizeof(load_command));
  const auto* bytes = static_cast<const std::uint8_t*>(stored);
  copy.assign(bytes, bytes + size);
  std::memcpy(copy.data(), &start, sizeof(start));
  swapBody(start.cmd, copy);
}

}  // namespace machofile
