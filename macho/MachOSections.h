#pragma once

// Sections of the "__TEXT" segment, found by walking the slice's segment
// commands.

#include <cstdint>

#include "macho/MachORecords.h"

namespace machofile {

// Stores in *result the start of the slice's "__TEXT" section of that name
// (the slice's start plus the section's file offset), or nullptr when there
// is none or its offset lies outside the slice. The 64-bit or 32-bit
// segment layout is chosen by the record's CPU type, not by the header's
// magic. An absent record, start or result leaves *result untouched.
void QVXMachOSliceGetSectionByName(const QVXMachOSlice* slice, const char* sectionName,
                                   const std::uint8_t** result);

// The "__eh_frame" section into *ehFrame and the "__unwind_info" section
// into *unwindInfo, as QVXMachOSliceGetSectionByName finds them; an absent
// result pointer skips its lookup.
void QVXMachOSliceGetUnwindInformation(const QVXMachOSlice* slice, const std::uint8_t** ehFrame,
                                       const std::uint8_t** unwindInfo);

}  // namespace machofile
