#pragma once

// Architecture names, as Apple's toolchain names the CPU type and subtype
// pairs ("arm64", "armv7s", "x86_64", ...).

#include <cstdint>

#include "macho/MachORecords.h"

namespace machofile {

// The architecture name of a slice record: "arm64" for 64-bit ARM with
// subtype 0, "armv7s" for ARM subtype 11, otherwise the architecture
// table's name; "unknown" when nothing matches. Static text, never null.
const char* QVXMachOSliceGetArchitectureName(const QVXMachOSlice* slice);

// The architecture table's name for a CPU type and subtype, the subtype's
// capability bits (mask 0xff000000) set aside; subtype -1 takes the CPU
// type's first entry. nullptr when the table has no entry.
const char* QVXMachOArchitectureTableName(std::int32_t cputype, std::int32_t cpusubtype);

// Whether the slice's CPU type carries the 64-bit ABI flag (0x01000000).
bool QVXMachOSliceIs64Bit(const QVXMachOSlice* slice);

}  // namespace machofile
