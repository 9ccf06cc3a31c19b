#include "archiver/ZipRecords.h"

#include <sys/stat.h>

#include <algorithm>

namespace archiver {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64Tag = 0x0001;
constexpr uint16_t kTimestampTag = 0x5455;  // extended timestamp
constexpr uint16_t kUnixMadeBy = (3 << 8) | 30;
constexpr uint16_t kUtf8Flag = 1 << 11;
constexpr uint16_t kDescriptorFlag = 1 << 3;
constexpr uint32_t kDosDirectory = 0x10;

void put16(std::string& out, uint64_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}
void put32(std::string& out, uint64_t value) {
  put16(out, value & 0xffff);
  put16(out, (value >> 16) & 0xffff);
}
void put64(std::string& out, uint64_t value) {
  put32(out, value & 0xffffffff);
  put32(out, value >> 32);
}

uint32_t clamp32(uint64_t value) { return static_cast<uint32_t>(std::min(value, kMax32)); }

// True for a name made of ASCII only; others are marked as UTF-8 when they
// are well-formed UTF-8.
bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The bytes that may follow LEAD in a well-formed sequence: how many, and
// the range of the first of them (the others are 80-BF). Narrower first
// ranges rule out overlong forms (E0, F0), surrogates (ED) and code points
// past U+10FFFF (F4); C0, C1 and F5-FF lead nothing.
struct Continuation {
  size_t count;
  unsigned char low, high;
};
Continuation continuationOf(unsigned char lead) {
  if (lead >= 0xc2 && lead <= 0xdf) return {1, 0x80, 0xbf};
  if (lead == 0xe0) return {2, 0xa0, 0xbf};
  if (lead == 0xed) return {2, 0x80, 0x9f};
  if (lead >= 0xe1 && lead <= 0xef) return {2, 0x80, 0xbf};
  if (lead == 0xf0) return {3, 0x90, 0xbf};
  if (lead >= 0xf1 && lead <= 0xf3) return {3, 0x80, 0xbf};
  if (lead == 0xf4) return {3, 0x80, 0x8f};
  return {0, 0, 0};
}

bool isWellFormedUtf8(const std::string& text) {
  auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  for (size_t i = 0; i < text.size();) {
    if (byte(i) < 0x80) {
      ++i;
      continue;
    }
    const Continuation next = continuationOf(byte(i));
    if (next.count == 0 || text.size() - i - 1 < next.count) return false;
    if (byte(i + 1) < next.low || byte(i + 1) > next.high) return false;
    for (size_t k = 2; k <= next.count; ++k)
      if ((byte(i + k) & 0xc0) != 0x80) return false;
    i += next.count + 1;
  }
  return true;
}

// Other names are stored as their bytes without the flag, which readers
// take for their own code page rather than refusing the archive.
uint16_t flagsOf(const EntryRecord& entry) {
  const uint16_t utf8 = !isAscii(entry.name) && isWellFormedUtf8(entry.name) ? kUtf8Flag : 0;
  return utf8 | (entry.described ? kDescriptorFlag : 0);
}

bool isDirectory(const EntryRecord& entry) { return S_ISDIR(entry.mode); }

uint16_t versionNeeded(const EntryRecord& entry, bool zip64) {
  if (zip64) return 45;
  return entry.method == kDeflated || isDirectory(entry) ? 20 : 10;
}

// MS-DOS date and time in local time, as zip readers show them. Times
// before 1980 get the first moment the format holds, times after 2107 (or
// too far off for localtime_r) the last one.
void putDosTime(std::string& out, time_t when) {
  struct tm local {};
  const bool converted = localtime_r(&when, &local) != nullptr;
  if (converted ? local.tm_year < 80 : when < 0) {
    put16(out, 0);
    put16(out, (1 << 5) | 1);
    return;
  }
  if (!converted || local.tm_year > 207) {
    put16(out, (23 << 11) | (59 << 5) | 29);
    put16(out, (127 << 9) | (12 << 5) | 31);
    return;
  }
  put16(out,
        static_cast<uint64_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2)));
  put16(out, static_cast<uint64_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                   local.tm_mday));
}

// The extended timestamp (0x5455) holds the modification time as a signed
// 32-bit count of seconds since 1970 UTC, so it reaches only from
// 1901-12-13 20:45:52 to 2038-01-19 03:14:07. A time outside is stored as
// the nearer end, so readers that prefer this field to the DOS date show
// a file of 2040 as of 2038.
void putTimestamp(std::string& out, time_t when) {
  int64_t seconds = std::clamp<int64_t>(when, INT32_MIN, INT32_MAX);
  put16(out, kTimestampTag);
  put16(out, 5);
  out += static_cast<char>(1);  // modification time present
  put32(out, static_cast<uint32_t>(static_cast<int32_t>(seconds)));
}

bool centralSizesNeedZip64(const EntryRecord& entry) {
  return entry.localZip64 || entry.size >= kMax32 || entry.compressedSize >= kMax32;
}

}  // namespace

std::string localHeader(const EntryRecord& entry) {
  std::string extra;
  if (entry.localZip64) {
    put16(extra, kZip64Tag);
    put16(extra, 16);
    put64(extra, entry.described ? 0 : entry.size);
    put64(extra, entry.described ? 0 : entry.compressedSize);
  }
  putTimestamp(extra, entry.mtime);
  std::string out;
  put32(out, kLocalSignature);
  put16(out, versionNeeded(entry, entry.localZip64));
  put16(out, flagsOf(entry));
  put16(out, entry.method);
  putDosTime(out, entry.mtime);
  out += localSizes(entry);
  put16(out, entry.name.size());
  put16(out, extra.size());
  out += entry.name;
  out += extra;
  return out;
}

uint64_t localSizesOffset(const EntryRecord& entry) { return entry.localOffset + 14; }

std::string localSizes(const EntryRecord& entry) {
  std::string out;
  if (entry.described) {
    put32(out, 0);
    put32(out, entry.localZip64 ? kMax32 : 0);
    put32(out, entry.localZip64 ? kMax32 : 0);
    return out;
  }
  put32(out, entry.crc);
  put32(out, entry.localZip64 ? kMax32 : entry.compressedSize);
  put32(out, entry.localZip64 ? kMax32 : entry.size);
  return out;
}

uint64_t localZip64SizesOffset(const EntryRecord& entry) {
  return entry.localOffset + 30 + entry.name.size() + 4;
}

std::string localZip64Sizes(const EntryRecord& entry) {
  std::string out;
  put64(out, entry.size);
  put64(out, entry.compressedSize);
  return out;
}

std::string dataDescriptor(const EntryRecord& entry) {
  std::string out;
  put32(out, kDescriptorSignature);
  put32(out, entry.crc);
  if (entry.localZip64) {
    put64(out, entry.compressedSize);
    put64(out, entry.size);
  } else {
    put32(out, entry.compressedSize);
    put32(out, entry.size);
  }
  return out;
}

std::string centralHeader(const EntryRecord& entry) {
  bool zip64Sizes = centralSizesNeedZip64(entry);
  bool zip64Offset = entry.localOffset >= kMax32;
  std::string extra;
  if (zip64Sizes || zip64Offset) {
    put16(extra, kZip64Tag);
    put16(extra, (zip64Sizes ? 16 : 0) + (zip64Offset ? 8 : 0));
    if (zip64Sizes) {
      put64(extra, entry.size);
      put64(extra, entry.compressedSize);
    }
    if (zip64Offset) put64(extra, entry.localOffset);
  }
  putTimestamp(extra, entry.mtime);
  std::string out;
  put32(out, kCentralSignature);
  put16(out, kUnixMadeBy);
  put16(out, versionNeeded(entry, zip64Sizes || zip64Offset));
  put16(out, flagsOf(entry));
  put16(out, entry.method);
  putDosTime(out, entry.mtime);
  put32(out, entry.crc);
  put32(out, zip64Sizes ? kMax32 : entry.compressedSize);
  put32(out, zip64Sizes ? kMax32 : entry.size);
  put16(out, entry.name.size());
  put16(out, extra.size());
  put16(out, 0);  // comment
  put16(out, 0);  // disk
  put16(out, 0);  // internal attributes
  put32(out, (static_cast<uint32_t>(entry.mode) << 16) | (isDirectory(entry) ? kDosDirectory : 0));
  put32(out, clamp32(entry.localOffset));
  out += entry.name;
  out += extra;
  return out;
}

std::string endRecords(uint64_t entries, uint64_t centralOffset, uint64_t centralSize) {
  std::string out;
  uint64_t endOffset = centralOffset + centralSize;
  if (entries >= kMax16 || centralOffset >= kMax32 || centralSize >= kMax32) {
    put32(out, kZip64EndSignature);
    put64(out, 44);
    put16(out, kUnixMadeBy);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, entries);
    put64(out, entries);
    put64(out, centralSize);
    put64(out, centralOffset);
    put32(out, kZip64LocatorSignature);
    put32(out, 0);
    put64(out, endOffset);
    put32(out, 1);
  }
  put32(out, kEndSignature);
  put16(out, 0);
  put16(out, 0);
  put16(out, std::min(entries, kMax16));
  put16(out, std::min(entries, kMax16));
  put32(out, clamp32(centralSize));
  put32(out, clamp32(centralOffset));
  put16(out, 0);
  return out;
}

}  // namespace archiver
