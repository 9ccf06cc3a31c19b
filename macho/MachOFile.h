#pragma once

// Opening a Mach-O file: the whole file mapped read-only for the life of
// the record.

#include "macho/MachORecords.h"

namespace machofile {

// Opens and maps the file at path into the record. False, with the record
// owning nothing, for an absent record or path, a path that cannot be
// opened, a failed status query, a file shorter than 16 bytes, anything but
// a regular file, or a failed mapping. An absent record is left untouched.
bool QVXMachOFileInitWithPath(QVXMachOFile* file, const char* path);

// Opens the running process's main executable file; false when the
// platform cannot name it (always on Linux).
bool QVXMachOFileInitWithCurrent(QVXMachOFile* file);

// Unmaps and closes what the record owns and leaves it Closed; an absent
// or Closed record releases nothing.
void QVXMachOFileDestroy(QVXMachOFile* file);

}  // namespace machofile
