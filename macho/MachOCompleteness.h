#pragma once

// Whether a Mach-O file is whole, as its own tables state its extent.

#include "macho/MachORecords.h"

namespace machofile {

// Whether the open file is complete: every fat slice lies within the file,
// and within each slice (the whole file when thin) its load commands and
// every segment they name lie within the slice. A file still being
// written, or cut short, is not complete. False for an absent or Closed
// record; an image that is no Mach-O file has nothing that could be missing.
bool QVXMachOFileIsComplete(const QVXMachOFile* file);

}  // namespace machofile
