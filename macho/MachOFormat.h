#pragma once

// The Mach-O and fat-file formats as their owner names them: magic numbers,
// load commands, CPU types and subtypes, and the on-disk layouts the reader
// decodes. Layout structs mirror the file byte for byte; they are filled by
// copying bytes out of a mapping after a bounds check, never by casting.

#include <cstdint>

namespace machofile {

// Magic numbers, as the first word reads in host (little-endian) order.
inline constexpr std::uint32_t FAT_MAGIC = 0xcafebabe;
inline constexpr std::uint32_t FAT_CIGAM = 0xbebafeca;
inline constexpr std::uint32_t FAT_MAGIC_64 = 0xcafebabf;
inline constexpr std::uint32_t FAT_CIGAM_64 = 0xbfbafeca;
inline constexpr std::uint32_t MH_MAGIC = 0xfeedface;
inline constexpr std::uint32_t MH_CIGAM = 0xcefaedfe;
inline constexpr std::uint32_t MH_MAGIC_64 = 0xfeedfacf;
inline constexpr std::uint32_t MH_CIGAM_64 = 0xcffaedfe;

// File types.
inline constexpr std::uint32_t MH_OBJECT = 0x1;
inline constexpr std::uint32_t MH_EXECUTE = 0x2;
inline constexpr std::uint32_t MH_DSYM = 0xa;

// Load commands.
inline constexpr std::uint32_t LC_REQ_DYLD = 0x80000000;
inline constexpr std::uint32_t LC_SEGMENT = 0x1;
inline constexpr std::uint32_t LC_LOAD_DYLIB = 0xc;
inline constexpr std::uint32_t LC_ID_DYLIB = 0xd;
inline constexpr std::uint32_t LC_LOAD_WEAK_DYLIB = 0x18 | LC_REQ_DYLD;
inline constexpr std::uint32_t LC_SEGMENT_64 = 0x19;
inline constexpr std::uint32_t LC_UUID = 0x1b;
inline constexpr std::uint32_t LC_REEXPORT_DYLIB = 0x1f | LC_REQ_DYLD;
inline constexpr std::uint32_t LC_LAZY_LOAD_DYLIB = 0x20;
inline constexpr std::uint32_t LC_ENCRYPTION_INFO = 0x21;
inline constexpr std::uint32_t LC_LOAD_UPWARD_DYLIB = 0x23 | LC_REQ_DYLD;
inline constexpr std::uint32_t LC_VERSION_MIN_MACOSX = 0x24;
inline constexpr std::uint32_t LC_VERSION_MIN_IPHONEOS = 0x25;
inline constexpr std::uint32_t LC_ENCRYPTION_INFO_64 = 0x2c;
inline constexpr std::uint32_t LC_VERSION_MIN_TVOS = 0x2f;
inline constexpr std::uint32_t LC_VERSION_MIN_WATCHOS = 0x30;
inline constexpr std::uint32_t LC_BUILD_VERSION = 0x32;

// Platforms of LC_BUILD_VERSION.
inline constexpr std::uint32_t PLATFORM_MACOS = 1;
inline constexpr std::uint32_t PLATFORM_IOS = 2;
inline constexpr std::uint32_t PLATFORM_TVOS = 3;
inline constexpr std::uint32_t PLATFORM_WATCHOS = 4;
inline constexpr std::uint32_t PLATFORM_BRIDGEOS = 5;
inline constexpr std::uint32_t PLATFORM_MACCATALYST = 6;
inline constexpr std::uint32_t PLATFORM_IOSSIMULATOR = 7;
inline constexpr std::uint32_t PLATFORM_TVOSSIMULATOR = 8;
inline constexpr std::uint32_t PLATFORM_WATCHOSSIMULATOR = 9;
inline constexpr std::uint32_t PLATFORM_DRIVERKIT = 10;
inline constexpr std::uint32_t PLATFORM_VISIONOS = 11;
inline constexpr std::uint32_t PLATFORM_VISIONOSSIMULATOR = 12;

// CPU types: a family number with the ABI flags of its 64-bit forms.
inline constexpr std::int32_t CPU_ARCH_ABI64 = 0x01000000;
inline constexpr std::int32_t CPU_ARCH_ABI64_32 = 0x02000000;
inline constexpr std::int32_t CPU_TYPE_ANY = -1;
inline constexpr std::int32_t CPU_TYPE_VAX = 1;
inline constexpr std::int32_t CPU_TYPE_MC680x0 = 6;
inline constexpr std::int32_t CPU_TYPE_X86 = 7;
inline constexpr std::int32_t CPU_TYPE_I386 = CPU_TYPE_X86;
inline constexpr std::int32_t CPU_TYPE_X86_64 = CPU_TYPE_X86 | CPU_ARCH_ABI64;
inline constexpr std::int32_t CPU_TYPE_MC98000 = 10;
inline constexpr std::int32_t CPU_TYPE_HPPA = 11;
inline constexpr std::int32_t CPU_TYPE_ARM = 12;
inline constexpr std::int32_t CPU_TYPE_ARM64 = CPU_TYPE_ARM | CPU_ARCH_ABI64;
inline constexpr std::int32_t CPU_TYPE_ARM64_32 = CPU_TYPE_ARM | CPU_ARCH_ABI64_32;
inline constexpr std::int32_t CPU_TYPE_MC88000 = 13;
inline constexpr std::int32_t CPU_TYPE_SPARC = 14;
inline constexpr std::int32_t CPU_TYPE_I860 = 15;
inline constexpr std::int32_t CPU_TYPE_POWERPC = 18;
inline constexpr std::int32_t CPU_TYPE_POWERPC64 = CPU_TYPE_POWERPC | CPU_ARCH_ABI64;

// CPU subtypes. The top byte holds capability bits, not part of the subtype.
inline constexpr std::uint32_t CPU_SUBTYPE_MASK = 0xff000000;
inline constexpr std::uint32_t CPU_SUBTYPE_LIB64 = 0x80000000;
inline constexpr std::int32_t CPU_SUBTYPE_MULTIPLE = -1;
inline constexpr std::int32_t CPU_SUBTYPE_I386_ALL = 3;
inline constexpr std::int32_t CPU_SUBTYPE_486 = 4;
inline constexpr std::int32_t CPU_SUBTYPE_486SX = 0x84;
inline constexpr std::int32_t CPU_SUBTYPE_PENT = 5;
inline constexpr std::int32_t CPU_SUBTYPE_PENTPRO = 0x16;
inline constexpr std::int32_t CPU_SUBTYPE_PENTII_M3 = 0x36;
inline constexpr std::int32_t CPU_SUBTYPE_PENTII_M5 = 0x56;
inline constexpr std::int32_t CPU_SUBTYPE_PENTIUM_4 = 0x0a;
inline constexpr std::int32_t CPU_SUBTYPE_X86_64_ALL = 3;
inline constexpr std::int32_t CPU_SUBTYPE_X86_64_H = 8;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V4T = 5;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V6 = 6;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V5TEJ = 7;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_XSCALE = 8;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7 = 9;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7F = 10;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7S = 11;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7K = 12;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V8 = 13;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V6M = 14;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7M = 15;
inline constexpr std::int32_t CPU_SUBTYPE_ARM_V7EM = 16;
inline constexpr std::int32_t CPU_SUBTYPE_ARM64_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_ARM64_V8 = 1;
inline constexpr std::int32_t CPU_SUBTYPE_ARM64E = 2;
inline constexpr std::int32_t CPU_SUBTYPE_ARM64_32_V8 = 1;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_601 = 1;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_603 = 3;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_603E = 4;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_603EV = 5;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_604 = 6;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_604E = 7;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_750 = 9;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_7400 = 10;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_7450 = 11;
inline constexpr std::int32_t CPU_SUBTYPE_POWERPC_970 = 100;
inline constexpr std::int32_t CPU_SUBTYPE_MC680x0_ALL = 1;
inline constexpr std::int32_t CPU_SUBTYPE_MC68040 = 2;
inline constexpr std::int32_t CPU_SUBTYPE_MC68030_ONLY = 3;
inline constexpr std::int32_t CPU_SUBTYPE_MC88000_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_HPPA_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_HPPA_7100LC = 1;
inline constexpr std::int32_t CPU_SUBTYPE_SPARC_ALL = 0;
inline constexpr std::int32_t CPU_SUBTYPE_I860_ALL = 0;

// Fat header (big-endian on disk) and one entry of its table.
struct fat_header {
  std::uint32_t magic;
  std::uint32_t nfat_arch;
};
struct fat_arch {
  std::int32_t cputype;
  std::int32_t cpusubtype;
  std::uint32_t offset;
  std::uint32_t size;
  std::uint32_t align;
};
// The entry of a 64-bit fat table (FAT_MAGIC_64): 64-bit offset and size.
struct fat_arch_64 {
  std::int32_t cputype;
  std::int32_t cpusubtype;
  std::uint64_t offset;
  std::uint64_t size;
  std::uint32_t align;
  std::uint32_t reserved;
};

// Mach-O headers; the 64-bit form has one more reserved word.
struct mach_header {
  std::uint32_t magic;
  std::int32_t cputype;
  std::int32_t cpusubtype;
  std::uint32_t filetype;
  std::uint32_t ncmds;
  std::uint32_t sizeofcmds;
  std::uint32_t flags;
};
struct mach_header_64 {
  std::uint32_t magic;
  std::int32_t cputype;
  std::int32_t cpusubtype;
  std::uint32_t filetype;
  std::uint32_t ncmds;
  std::uint32_t sizeofcmds;
  std::uint32_t flags;
  std::uint32_t reserved;
};

// The start every load command shares.
struct load_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
};

struct uuid_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  std::uint8_t uuid[16];
};

// A library-load command; the name is `name_offset` bytes after the
// command's start, NUL-terminated inside the command.
struct dylib_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  std::uint32_t name_offset;
  std::uint32_t timestamp;
  std::uint32_t current_version;
  std::uint32_t compatibility_version;
};

// Versions are packed: major in bits 31-16, minor in 15-8, bugfix in 7-0.
struct version_min_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  std::uint32_t version;
  std::uint32_t sdk;
};
struct build_version_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  std::uint32_t platform;
  std::uint32_t minos;
  std::uint32_t sdk;
  std::uint32_t ntools;
};

// LC_ENCRYPTION_INFO; the 64-bit form adds a pad word after cryptid.
struct encryption_info_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  std::uint32_t cryptoff;
  std::uint32_t cryptsize;
  std::uint32_t cryptid;
};

struct segment_command {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  char segname[16];
  std::uint32_t vmaddr;
  std::uint32_t vmsize;
  std::uint32_t fileoff;
  std::uint32_t filesize;
  std::int32_t maxprot;
  std::int32_t initprot;
  std::uint32_t nsects;
  std::uint32_t flags;
};
struct segment_command_64 {
  std::uint32_t cmd;
  std::uint32_t cmdsize;
  char segname[16];
  std::uint64_t vmaddr;
  std::uint64_t vmsize;
  std::uint64_t fileoff;
  std::uint64_t filesize;
  std::int32_t maxprot;
  std::int32_t initprot;
  std::uint32_t nsects;
  std::uint32_t flags;
};

struct section {
  char sectname[16];
  char segname[16];
  std::uint32_t addr;
  std::uint32_t size;
  std::uint32_t offset;
  std::uint32_t align;
  std::uint32_t reloff;
  std::uint32_t nreloc;
  std::uint32_t flags;
  std::uint32_t reserved1;
  std::uint32_t reserved2;
};
struct section_64 {
  char sectname[16];
  char segname[16];
  std::uint64_t addr;
  std::uint64_t size;
  std::uint32_t offset;
  std::uint32_t align;
  std::uint32_t reloff;
  std::uint32_t nreloc;
  std::uint32_t flags;
  std::uint32_t reserved1;
  std::uint32_t reserved2;
  std::uint32_t reserved3;
};

// The sizes the format fixes; the structs above must match them.
static_assert(sizeof(fat_header) == 8 && sizeof(fat_arch) == 20 && sizeof(fat_arch_64) == 32);
static_assert(sizeof(mach_header) == 28 && sizeof(mach_header_64) == 32);
static_assert(sizeof(load_command) == 8 && sizeof(uuid_command) == 24);
static_assert(sizeof(dylib_command) == 24 && sizeof(version_min_command) == 16);
static_assert(sizeof(build_version_command) == 24 && sizeof(encryption_info_command) == 20);
static_assert(sizeof(segment_command) == 56 && sizeof(segment_command_64) == 72);
static_assert(sizeof(section) == 68 && sizeof(section_64) == 80);

}  // namespace machofile
