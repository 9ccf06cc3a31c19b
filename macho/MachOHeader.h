#pragma once

// A slice's Mach-O header read in the slice's own byte order. The magic
// says which: MH_MAGIC and MH_MAGIC_64 are the host's order, MH_CIGAM and
// MH_CIGAM_64 the other one, in which PowerPC slices are written.

#include <cstdint>
#include <optional>

#include "macho/MachOBytes.h"
#include "macho/MachOFormat.h"

namespace machofile {

// Whether the magic is a Mach-O magic of the other byte order.
inline bool QVXMachOIsSwappedMagic(std::uint32_t magic) {
  return magic == MH_CIGAM || magic == MH_CIGAM_64;
}

// A value of a slice in host order: as stored, or swapped when the slice is
// in the other byte order (big-endian on this little-endian host).
template <typename Value>
Value QVXMachOInHostOrder(Value stored, bool swapped) {
  return swapped ? ImageBytes::fromBigEndian(stored) : stored;
}

// A load command's start in host order.
inline load_command QVXMachOInHostOrder(load_command stored, bool swapped) {
  return {QVXMachOInHostOrder(stored.cmd, swapped), QVXMachOInHostOrder(stored.cmdsize, swapped)};
}

// A Mach-O header in host order, whatever the order of its slice.
struct QVXMachOHeader {
  mach_header fields;  // every field in host order but the magic, kept as stored
  std::uint64_t size;  // 28 or 32 by the magic: where the first load command starts
  bool swapped;        // whether the slice is stored in the other byte order
};

// The header at the start of the slice's bytes; nothing unless they start
// with one of the four Mach-O magics and hold a whole 28-byte header.
std::optional<QVXMachOHeader> QVXMachOReadHeader(const ImageBytes& slice);

}  // namespace machofile
