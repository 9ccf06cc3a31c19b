#pragma once

// The slices of a fat file's table, 32-bit (FAT_MAGIC) or 64-bit
// (FAT_MAGIC_64) alike.

#include <cstdint>

#include "macho/MachOBytes.h"
#include "macho/MachORecords.h"

namespace machofile {

// Whether the first word is a fat magic, of either table width and either
// byte order.
bool QVXMachOIsFatMagic(std::uint32_t magic);

// Reports one slice per table entry, in table order, whatever the order of
// their offsets. A slice covers its table size, cut at the end of the image.
// The table ends at the first entry that does not lie whole inside the
// image. An entry is skipped when its slice is empty, starts at or past the
// end of the image, or overlaps a slice reported before it: the reported
// slices never share a byte, so walking all of them costs no more than the
// image's size, however the table is made.
void QVXMachOEnumerateFatSlices(const ImageBytes& image, QVXMachOSliceCallback callback);

// Called with a table entry's stated offset and size.
using QVXMachOFatEntryCallback = FunctionRef<void(std::uint64_t offset, std::uint64_t size)>;

// Reports every entry of the table as it is stated, in table order, none
// skipped or cut. False when the image has no fat table or the table does
// not lie whole inside the image.
bool QVXMachOEnumerateFatEntries(const ImageBytes& image, QVXMachOFatEntryCallback callback);

}  // namespace machofile
