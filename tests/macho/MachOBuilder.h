#pragma once

// A small builder of Mach-O and fat images, byte by byte, for the cases no
// toolchain writes: size-0 commands, two UUID commands, empty fat tables,
// counts and offsets past the end of the file, and slices in the other byte
// order (big-endian PowerPC), which no toolchain of this machine writes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "macho/MachOFormat.h"

namespace machobuilder {

using Bytes = std::vector<std::uint8_t>;
using UUIDBytes = std::array<std::uint8_t, 16>;

inline void appendWord(Bytes& bytes, std::uint32_t word) {
  const std::size_t at = bytes.size();
  bytes.resize(at + 4);
  std::memcpy(bytes.data() + at, &word, 4);
}

inline void appendBigEndianWord(Bytes& bytes, std::uint32_t word) {
  appendWord(bytes, __builtin_bswap32(word));
}

inline void appendQuad(Bytes& bytes, std::uint64_t quad) {
  std::uint8_t raw[8];
  std::memcpy(raw, &quad, 8);
  bytes.insert(bytes.end(), raw, raw + 8);
}

inline void appendBigEndianQuad(Bytes& bytes, std::uint64_t quad) {
  appendQuad(bytes, __builtin_bswap64(quad));
}

inline void appendName16(Bytes& bytes, const std::string& name) {
  std::uint8_t raw[16] = {};
  std::memcpy(raw, name.data(), std::min<std::size_t>(name.size(), 16));
  bytes.insert(bytes.end(), raw, raw + 16);
}

inline void setWord(Bytes& bytes, std::size_t offset, std::uint32_t word) {
  std::memcpy(bytes.data() + offset, &word, 4);
}

// A UUID whose bytes are first, first + 1, ... first + 15.
inline UUIDBytes uuidFrom(std::uint8_t first) {
  UUIDBytes uuid;
  for (std::size_t i = 0; i < uuid.size(); ++i) uuid[i] = static_cast<std::uint8_t>(first + i);
  return uuid;
}

// Where a segment lies in its slice's file bytes.
struct FileRange {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// One thin Mach-O image: a header and its load commands, then padding. The
// other-order magics (MH_CIGAM, MH_CIGAM_64) give an image whose every word
// the builder writes is stored in that order, as a big-endian slice is;
// bodies given to command() are taken as they are.
class MachOImage {
 public:
  explicit MachOImage(std::uint32_t magic = machofile::MH_MAGIC_64,
                      std::int32_t cputype = machofile::CPU_TYPE_ARM64,
                      std::int32_t cpusubtype = machofile::CPU_SUBTYPE_ARM64_ALL,
                      std::uint32_t filetype = machofile::MH_EXECUTE)
      : magic_(magic), cputype_(cputype), cpusubtype_(cpusubtype), filetype_(filetype) {}

  // A command with the given body after its 8-byte start; cmdsize is
  // 8 + body size unless given.
  MachOImage& command(std::uint32_t cmd, const Bytes& body, std::int64_t cmdsize = -1) {
    Bytes bytes;
    word(bytes, cmd);
    word(bytes, static_cast<std::uint32_t>(cmdsize < 0 ? 8 + body.size() : cmdsize));
    bytes.insert(bytes.end(), body.begin(), body.end());
    commands_.push_back(std::move(bytes));
    return *this;
  }

  MachOImage& uuid(const UUIDBytes& uuid) {
    return command(machofile::LC_UUID, Bytes(uuid.begin(), uuid.end()));
  }

  MachOImage& versionMinimum(std::uint32_t cmd, std::uint32_t version, std::uint32_t sdk) {
    Bytes body;
    word(body, version);
    word(body, sdk);
    return command(cmd, body);
  }

  MachOImage& buildVersion(std::uint32_t platform, std::uint32_t minos, std::uint32_t sdk) {
    Bytes body;
    word(body, platform);
    word(body, minos);
    word(body, sdk);
    word(body, 0);
    return command(machofile::LC_BUILD_VERSION, body);
  }

  // A library-load command of the given number, its path padded to 8 bytes.
  MachOImage& dylib(std::uint32_t cmd, const std::string& path) {
    Bytes body;
    word(body, sizeof(machofile::dylib_command));
    word(body, 2);
    word(body, 0x10000);
    word(body, 0x10000);
    body.insert(body.end(), path.begin(), path.end());
    do body.push_back(0);
    while ((body.size() + 8) % 8 != 0);
    return command(cmd, body);
  }

  MachOImage& encryptionInfo(std::uint32_t cmd, std::uint32_t cryptid) {
    Bytes body;
    word(body, 0x4000);
    word(body, 0x1000);
    word(body, cryptid);
    if (cmd == machofile::LC_ENCRYPTION_INFO_64) word(body, 0);
    return command(cmd, body);
  }

  // A segment command (64-bit when the magic is) named segname holding
  // sections (name, file offset), each recorded under segment "__TEXT",
  // over the given bytes of the file (none unless given).
  MachOImage& segment(const std::string& segname,
                      const std::vector<std::pair<std::string, std::uint32_t>>& sections,
                      FileRange file = {}) {
    const bool wide = is64();
    Bytes body;
    appendName16(body, segname);
    const std::uint64_t addresses[] = {0, file.size, file.offset, file.size};
    for (std::uint64_t value : addresses) {
      if (wide)
        quad(body, value);
      else
        word(body, static_cast<std::uint32_t>(value));
    }
    word(body, 5);
    word(body, 5);
    word(body, static_cast<std::uint32_t>(sections.size()));
    word(body, 0);
    for (const auto& [name, offset] : sections) {
      appendName16(body, name);
      appendName16(body, "__TEXT");
      if (wide) {
        quad(body, 0x100000000ull + offset);
        quad(body, 16);
      } else {
        word(body, 0x1000 + offset);
        word(body, 16);
      }
      word(body, offset);
      for (int i = 0; i < (wide ? 7 : 6); ++i) word(body, 0);
    }
    return command(wide ? machofile::LC_SEGMENT_64 : machofile::LC_SEGMENT, body);
  }

  // States a command count other than the number of commands added.
  MachOImage& commandCount(std::uint32_t count) {
    count_ = count;
    countSet_ = true;
    return *this;
  }

  // Zero bytes after the commands, so that offsets into the image exist.
  MachOImage& padding(std::size_t bytes) {
    padding_ = bytes;
    return *this;
  }

  bool is64() const { return magic_ == machofile::MH_MAGIC_64 || magic_ == machofile::MH_CIGAM_64; }
  bool otherByteOrder() const {
    return magic_ == machofile::MH_CIGAM || magic_ == machofile::MH_CIGAM_64;
  }

  Bytes bytes() const {
    Bytes out;
    std::uint32_t total = 0;
    for (const auto& command : commands_) total += static_cast<std::uint32_t>(command.size());
    appendWord(out, magic_);  // as given: an other-order magic is the stored form
    word(out, static_cast<std::uint32_t>(cputype_));
    word(out, static_cast<std::uint32_t>(cpusubtype_));
    word(out, filetype_);
    word(out, countSet_ ? count_ : static_cast<std::uint32_t>(commands_.size()));
    word(out, total);
    word(out, 0);
    if (is64()) word(out, 0);
    for (const auto& command : commands_) out.insert(out.end(), command.begin(), command.end());
    out.resize(out.size() + padding_, 0);
    return out;
  }

 private:
  // A word or quad of the image, stored in the image's byte order.
  void word(Bytes& bytes, std::uint32_t value) const {
    appendWord(bytes, otherByteOrder() ? __builtin_bswap32(value) : value);
  }
  void quad(Bytes& bytes, std::uint64_t value) const {
    appendQuad(bytes, otherByteOrder() ? __builtin_bswap64(value) : value);
  }

  std::uint32_t magic_;
  std::int32_t cputype_;
  std::int32_t cpusubtype_;
  std::uint32_t filetype_;
  std::vector<Bytes> commands_;
  std::uint32_t count_ = 0;
  bool countSet_ = false;
  std::size_t padding_ = 0;
};

// One entry of a fat table and the image it points to.
struct FatEntry {
  std::int32_t cputype;
  std::int32_t cpusubtype;
  Bytes image;
};

// A fat file: header, table, then each image at a 16-byte aligned offset.
// The 64-bit magics (FAT_MAGIC_64, FAT_CIGAM_64) give a table of fat_arch_64
// entries, the others one of fat_arch entries.
inline Bytes fatFile(const std::vector<FatEntry>& entries,
                     std::uint32_t magic = machofile::FAT_MAGIC) {
  const bool wide = magic == machofile::FAT_MAGIC_64 || magic == machofile::FAT_CIGAM_64;
  Bytes out;
  appendBigEndianWord(out, magic);
  appendBigEndianWord(out, static_cast<std::uint32_t>(entries.size()));
  std::size_t offset = 8 + (wide ? 32 : 20) * entries.size();
  std::vector<std::size_t> offsets;
  for (const auto& entry : entries) {
    offset = (offset + 15) & ~std::size_t{15};
    offsets.push_back(offset);
    offset += entry.image.size();
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    appendBigEndianWord(out, static_cast<std::uint32_t>(entries[i].cputype));
    appendBigEndianWord(out, static_cast<std::uint32_t>(entries[i].cpusubtype));
    if (wide) {
      appendBigEndianQuad(out, offsets[i]);
      appendBigEndianQuad(out, entries[i].image.size());
      appendBigEndianWord(out, 4);
      appendBigEndianWord(out, 0);
    } else {
      appendBigEndianWord(out, static_cast<std::uint32_t>(offsets[i]));
      appendBigEndianWord(out, static_cast<std::uint32_t>(entries[i].image.size()));
      appendBigEndianWord(out, 4);
    }
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    out.resize(offsets[i], 0);
    out.insert(out.end(), entries[i].image.begin(), entries[i].image.end());
  }
  return out;
}

// Swaps the 20-byte entries i and j of a 32-bit fat table, so that the
// table lists the slices in another order than their offsets.
inline void swapFatEntries(Bytes& fat, std::size_t i, std::size_t j) {
  std::swap_ranges(fat.begin() + 8 + 20 * i, fat.begin() + 8 + 20 * (i + 1),
                   fat.begin() + 8 + 20 * j);
}

inline void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace machobuilder
