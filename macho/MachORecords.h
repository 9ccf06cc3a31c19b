#pragma once

// The plain records of the Mach-O reader and its callback types.

#include <cstdint>

#include "macho/FunctionRef.h"
#include "platform/files/FileMapping.h"

namespace machofile {

// An open Mach-O file and its image (see MachOFile.h). Closed (owning
// nothing) when fd is -1 and mappedFile is null; Open after
// QVXMachOFileInitWithPath returned true. identity is the file's as it was
// when its size was taken.
struct QVXMachOFile {
  std::int32_t fd = -1;
  std::uint64_t mappedSize = 0;
  const void* mappedFile = nullptr;
  platform::FileIdentity identity;
};

// One architecture slice: where its Mach-O header starts and its CPU type
// and subtype (capability bits included). availableSize is the number of
// bytes from startAddress that belong to the slice (a fat slice's size, a
// thin image's whole length, never past the end of the mapping), so that
// every read through the record stays inside the mapping; 0 allows no read.
struct QVXMachOSlice {
  const void* startAddress = nullptr;
  std::int32_t cputype = 0;
  std::int32_t cpusubtype = 0;
  std::uint64_t availableSize = 0;
};

// A version triple unpacked from the Mach-O packed form (major in bits
// 31-16, minor in 15-8, bugfix in 7-0).
struct QVXMachOVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t bugfix = 0;
  bool operator==(const QVXMachOVersion&) const = default;
};

// Called once per slice with the walk's record, valid only during the call.
using QVXMachOSliceCallback = FunctionRef<void(const QVXMachOSlice* slice)>;

// Called once per load command with its number, its size and its first byte:
// the command in the image, or a host-order copy of one stored in the other
// byte order, either valid only during the call.
using QVXMachOLoadCommandCallback =
    FunctionRef<void(std::uint32_t cmd, std::uint32_t cmdsize, const void* command)>;

}  // namespace machofile
