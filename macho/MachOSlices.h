#pragma once

// The slices of a fat or thin image, and slice records made without a walk.

#include <cstdint>

#include "macho/MachORecords.h"

namespace machofile {

// Walks the slices of an image of `size` readable bytes at `start`: one
// per entry of a fat table, 32-bit or 64-bit, in table order (CPU fields
// from the big-endian table; see QVXMachOEnumerateFatSlices for the entries
// skipped), or exactly one for anything else (CPU fields from a Mach-O
// header in its own byte order, 0 and 0 for an unrecognised image). Nothing is reported for an
// absent start or callback.
void QVXMachOEnumerateSlicesAtAddress(const void* start, std::uint64_t size,
                                      QVXMachOSliceCallback callback);

// The same walk over an open file's mapping.
void QVXMachOFileEnumerateSlices(const QVXMachOFile* file, QVXMachOSliceCallback callback);

// The last slice whose architecture name equals `name` byte for byte, or
// an all-zero record when none does.
QVXMachOSlice QVXMachOFileSliceWithArchitectureName(const QVXMachOFile* file, const char* name);

// A record for the Mach-O header at `header` with `size` readable bytes;
// the header is not read, so the CPU fields stay 0 until the load-command
// walk fills them in.
QVXMachOSlice QVXMachOSliceWithHeader(const void* header, std::uint64_t size);

// The running process's main image with the host's CPU fields; on Linux
// an all-zero record (no Mach-O image, no host CPU type).
QVXMachOSlice QVXMachOSliceGetCurrent();

// The file of the loaded image that holds the slice's start; nullptr for
// an absent record or start, or an unknown image (always on Linux).
const char* QVXMachOSliceGetExecutablePath(const QVXMachOSlice* slice);

}  // namespace machofile
