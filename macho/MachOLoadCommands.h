#pragma once

// The load-command walk of one slice.

#include <cstdint>

#include "macho/MachOBytes.h"
#include "macho/MachORecords.h"

namespace machofile {

// Walks the load commands of the slice's Mach-O header: first rewrites the
// record's CPU fields from the header, read in the slice's own byte order
// (see MachOHeader.h), then reports each command in order.
// Nothing happens for an absent callback, record or start, an unknown magic
// or a header that does not fit in the slice. The walk stays inside the
// header's command area: at most ncmds commands, each with its 8-byte start
// and its whole stated size inside the sizeofcmds bytes after the header
// (and inside the slice); it ends at the first command that would not fit.
// A command whose size is below 8 is reported and ends the walk, since it
// gives no place for the next one. So the walk costs at most one call per
// command present, never a call per byte of the file. A slice of the other
// byte order reports each command as a host-order copy (see
// MachOCommandByteOrder.h), valid only during the call.
void QVXMachOSliceEnumerateLoadCommands(QVXMachOSlice* slice, QVXMachOLoadCommandCallback callback);

// Whether the slice starts with a whole Mach-O header of one of the four
// Mach-O magics, the header the load-command walk reads.
bool QVXMachOSliceHasHeader(const QVXMachOSlice* slice);

// The command count and the total command size a Mach-O header states (in
// host order), and whether its commands are stored in the other byte order.
struct QVXMachOCommandArea {
  std::uint32_t ncmds;
  std::uint32_t sizeofcmds;
  bool swapped = false;
};

// The bounded walk itself: the commands of `area` from `firstCommand`
// bytes into the image, under the rules above. Used by the section lookup
// too.
void QVXMachOWalkCommands(const ImageBytes& image, std::uint64_t firstCommand,
                          const QVXMachOCommandArea& area, QVXMachOLoadCommandCallback callback);

}  // namespace machofile
