#pragma once

// Opening a Mach-O file: an image of the file's size in private memory,
// holding the file's fat table and each slice's Mach-O header and load
// commands, copied with reads of the file; every other byte reads as zero.
// A file that shrinks or changes later cannot reach the image, so no read
// through the record can fault.

#include "macho/MachORecords.h"

namespace machofile {

// Opens the file at path and reads its image into the record. False, with
// the record owning nothing, for an absent record or path, a path that
// cannot be opened, a failed status query, a file shorter than 16 bytes,
// anything but a regular file, no memory for the image, or a file that
// ends before a range its size promised (it shrank while it was read). An
// absent record is left untouched.
bool QVXMachOFileInitWithPath(QVXMachOFile* file, const char* path);

// The same for a file already open for reading, whose status was taken
// before; on success the record owns the descriptor, otherwise the caller
// still does.
bool QVXMachOFileInitWithDescriptor(QVXMachOFile* file, int descriptor,
                                    const platform::FileStatus& status);

// Opens the running process's main executable file; false when the
// platform cannot name it (always on Linux).
bool QVXMachOFileInitWithCurrent(QVXMachOFile* file);

// Releases and closes what the record owns and leaves it Closed; an absent
// or Closed record releases nothing.
void QVXMachOFileDestroy(QVXMachOFile* file);

}  // namespace machofile
