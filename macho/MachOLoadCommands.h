#pragma once

// The load-command walk of one slice.

#include <cstdint>

#include "macho/MachOBytes.h"
#include "macho/MachORecords.h"

namespace machofile {

// Walks the load commands of the slice's Mach-O header: first rewrites the
// record's CPU fields from the header, then reports each command in order.
// Nothing happens for an absent callback, record or start, an unknown magic
// or a header that does not fit in the slice. Every reported command has at
// least its 8-byte start and its whole stated size inside the slice; the
// walk ends at the first command that would not fit. A size below 8 is
// reported as it stands (a size of 0 reports the same command again), but
// the walk never makes more calls than 8-byte command starts fit in the
// slice, so a corrupt count cannot make it run on.
void QVXMachOSliceEnumerateLoadCommands(QVXMachOSlice* slice, QVXMachOLoadCommandCallback callback);

// Whether the slice starts with a whole Mach-O header of one of the four
// Mach-O magics, the header the load-command walk reads.
bool QVXMachOSliceHasHeader(const QVXMachOSlice* slice);

// The bounded walk itself: `count` commands from `firstCommand` bytes into
// the image, under the rules above. Used by the section lookup too.
void QVXMachOWalkCommands(const ImageBytes& image, std::uint64_t firstCommand, std::uint32_t count,
                          QVXMachOLoadCommandCallback callback);

}  // namespace machofile
