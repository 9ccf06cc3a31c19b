#include "macho/MachOArchitecture.h"

#include "macho/MachOFormat.h"

namespace machofile {

namespace {

struct ArchitectureEntry {
  const char* name;
  std::int32_t cputype;
  std::int32_t cpusubtype;
};

// Apple's toolchain names, in its table's order: where two names share a
// pair, the first is the one shown.
constexpr ArchitectureEntry kArchitectures[] = {
    {"hppa", CPU_TYPE_HPPA, CPU_SUBTYPE_HPPA_ALL},
    {"i386", CPU_TYPE_I386, CPU_SUBTYPE_I386_ALL},
    {"x86_64", CPU_TYPE_X86_64, CPU_SUBTYPE_X86_64_ALL},
    {"x86_64h", CPU_TYPE_X86_64, CPU_SUBTYPE_X86_64_H},
    {"i860", CPU_TYPE_I860, CPU_SUBTYPE_I860_ALL},
    {"m68k", CPU_TYPE_MC680x0, CPU_SUBTYPE_MC680x0_ALL},
    {"m88k", CPU_TYPE_MC88000, CPU_SUBTYPE_MC88000_ALL},
    {"ppc", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_ALL},
    {"ppc64", CPU_TYPE_POWERPC64, CPU_SUBTYPE_POWERPC_ALL},
    {"sparc", CPU_TYPE_SPARC, CPU_SUBTYPE_SPARC_ALL},
    {"arm", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_ALL},
    {"arm64", CPU_TYPE_ARM64, CPU_SUBTYPE_ARM64_ALL},
    {"arm64e", CPU_TYPE_ARM64, CPU_SUBTYPE_ARM64E},
    {"arm64_32", CPU_TYPE_ARM64_32, CPU_SUBTYPE_ARM64_32_V8},
    {"i486", CPU_TYPE_I386, CPU_SUBTYPE_486},
    {"i486SX", CPU_TYPE_I386, CPU_SUBTYPE_486SX},
    {"pentium", CPU_TYPE_I386, CPU_SUBTYPE_PENT},
    {"i586", CPU_TYPE_I386, CPU_SUBTYPE_PENT},
    {"pentpro", CPU_TYPE_I386, CPU_SUBTYPE_PENTPRO},
    {"i686", CPU_TYPE_I386, CPU_SUBTYPE_PENTPRO},
    {"pentIIm3", CPU_TYPE_I386, CPU_SUBTYPE_PENTII_M3},
    {"pentIIm5", CPU_TYPE_I386, CPU_SUBTYPE_PENTII_M5},
    {"pentium4", CPU_TYPE_I386, CPU_SUBTYPE_PENTIUM_4},
    {"m68030", CPU_TYPE_MC680x0, CPU_SUBTYPE_MC68030_ONLY},
    {"m68040", CPU_TYPE_MC680x0, CPU_SUBTYPE_MC68040},
    {"hppa7100LC", CPU_TYPE_HPPA, CPU_SUBTYPE_HPPA_7100LC},
    {"ppc601", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_601},
    {"ppc603", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_603},
    {"ppc603e", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_603E},
    {"ppc603ev", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_603EV},
    {"ppc604", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_604},
    {"ppc604e", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_604E},
    {"ppc750", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_750},
    {"ppc7400", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_7400},
    {"ppc7450", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_7450},
    {"ppc970", CPU_TYPE_POWERPC, CPU_SUBTYPE_POWERPC_970},
    {"ppc970-64", CPU_TYPE_POWERPC64, CPU_SUBTYPE_POWERPC_970},
    {"armv4t", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V4T},
    {"armv5", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V5TEJ},
    {"xscale", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_XSCALE},
    {"armv6", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V6},
    {"armv6m", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V6M},
    {"armv7", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7},
    {"armv7f", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7F},
    {"armv7s", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7S},
    {"armv7k", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7K},
    {"armv7m", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7M},
    {"armv7em", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7EM},
    {"armv8", CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V8},
    {"arm64v8", CPU_TYPE_ARM64, CPU_SUBTYPE_ARM64_V8},
};

constexpr std::int32_t subtypeWithoutCapabilities(std::int32_t cpusubtype) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(cpusubtype) & ~CPU_SUBTYPE_MASK);
}

}  // namespace

const char* QVXMachOArchitectureTableName(std::int32_t cputype, std::int32_t cpusubtype) {
  for (const auto& entry : kArchitectures) {
    if (entry.cputype != cputype) continue;
    if (cpusubtype == CPU_SUBTYPE_MULTIPLE ||
        subtypeWithoutCapabilities(entry.cpusubtype) == subtypeWithoutCapabilities(cpusubtype))
      return entry.name;
  }
  return nullptr;
}

const char* QVXMachOSliceGetArchitectureName(const QVXMachOSlice* slice) {
  if (!slice) return "unknown";
  if (slice->cputype == CPU_TYPE_ARM64 && slice->cpusubtype == CPU_SUBTYPE_ARM64_ALL)
    return "arm64";
  if (slice->cputype == CPU_TYPE_ARM && slice->cpusubtype == CPU_SUBTYPE_ARM_V7S) return "armv7s";
  const char* name = QVXMachOArchitectureTableName(slice->cputype, slice->cpusubtype);
  return name ? name : "unknown";
}

bool QVXMachOSliceIs64Bit(const QVXMachOSlice* slice) {
  return slice && (slice->cputype & CPU_ARCH_ABI64) != 0;
}

}  // namespace machofile
