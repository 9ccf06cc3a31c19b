#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace archiver {

// Values a field of 16 or 32 bits cannot hold get ZIP64 records instead.
constexpr uint64_t kMax16 = 0xffff;
constexpr uint64_t kMax32 = 0xffffffff;

// Compression methods.
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

// What the local and central headers of one entry say about it.
struct EntryRecord {
  std::string name;  // '/'-separated; folders end with '/'
  uint16_t method = kStored;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
  uint32_t mode = 0;  // st_mode: file type and permission bits
  time_t mtime = 0;
  // The local header carries a ZIP64 extra with both sizes (decided from
  // the file's size before its data is written).
  bool localZip64 = false;
  // The CRC-32 and sizes follow the data in a data descriptor (the archive
  // is written where it cannot be patched); the local header holds zeros.
  bool described = false;
};

// The local header; with `localZip64` its sizes sit in the ZIP64 extra.
std::string localHeader(const EntryRecord& entry);
// Where the CRC-32 and the sizes sit inside the local header, and their bytes,
// for patching after the data is written.
uint64_t localSizesOffset(const EntryRecord& entry);
std::string localSizes(const EntryRecord& entry);
uint64_t localZip64SizesOffset(const EntryRecord& entry);
std::string localZip64Sizes(const EntryRecord& entry);

// The data descriptor of a described entry: 8-byte sizes with `localZip64`.
std::string dataDescriptor(const EntryRecord& entry);

std::string centralHeader(const EntryRecord& entry);

// The end records: ZIP64 end record and locator when needed, then the
// classic end record. CENTRALOFFSET is where the central directory starts.
std::string endRecords(uint64_t entries, uint64_t centralOffset, uint64_t centralSize);

}  // namespace archiver
