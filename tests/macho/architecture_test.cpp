// Architecture names of CPU type and subtype pairs.

#include <gtest/gtest.h>

#include <string>

#include "macho/QVXMachO.h"

using namespace machofile;

namespace {

std::string nameOf(std::int32_t cputype, std::uint32_t cpusubtype) {
  QVXMachOSlice slice{nullptr, cputype, static_cast<std::int32_t>(cpusubtype), 0};
  return QVXMachOSliceGetArchitectureName(&slice);
}

}  // namespace

TEST(MachOArchitecture, SpecialCasesComeFirst) {
  EXPECT_EQ(nameOf(0x0100000c, 0), "arm64");
  EXPECT_EQ(nameOf(12, 11), "armv7s");
}

TEST(MachOArchitecture, SixtyFourBitARMWithOtherSubtypeGoesToTheTable) {
  EXPECT_EQ(nameOf(0x0100000c, 1), "arm64v8");
  EXPECT_EQ(nameOf(0x0100000c, 2), "arm64e");
}

TEST(MachOArchitecture, ToolchainNames) {
  EXPECT_EQ(nameOf(CPU_TYPE_I386, 3), "i386");
  EXPECT_EQ(nameOf(CPU_TYPE_X86_64, 3), "x86_64");
  EXPECT_EQ(nameOf(CPU_TYPE_X86_64, 8), "x86_64h");
  EXPECT_EQ(nameOf(CPU_TYPE_ARM, 6), "armv6");
  EXPECT_EQ(nameOf(CPU_TYPE_ARM, 9), "armv7");
  EXPECT_EQ(nameOf(CPU_TYPE_ARM, 12), "armv7k");
  EXPECT_EQ(nameOf(CPU_TYPE_ARM64_32, 1), "arm64_32");
  EXPECT_EQ(nameOf(CPU_TYPE_POWERPC, 0), "ppc");
  EXPECT_EQ(nameOf(CPU_TYPE_POWERPC64, 0), "ppc64");
}

TEST(MachOArchitecture, CapabilityBitsAreSetAside) {
  EXPECT_EQ(nameOf(CPU_TYPE_X86_64, 0x80000003), "x86_64");
  EXPECT_EQ(nameOf(CPU_TYPE_ARM64, 0x80000002), "arm64e");
  EXPECT_EQ(nameOf(CPU_TYPE_I386, 0x01000003), "i386");
}

TEST(MachOArchitecture, UnknownPairsAreNamedUnknown) {
  EXPECT_EQ(nameOf(0, 0), "unknown");
  EXPECT_EQ(nameOf(CPU_TYPE_X86_64, 77), "unknown");
  EXPECT_EQ(nameOf(0x7fffffff, 0), "unknown");
  EXPECT_STREQ(QVXMachOSliceGetArchitectureName(nullptr), "unknown");
}

TEST(MachOArchitecture, MultipleSubtypeTakesTheFamilyName) {
  EXPECT_EQ(nameOf(CPU_TYPE_ARM, 0xffffffff), "arm");
  EXPECT_EQ(nameOf(CPU_TYPE_X86_64, 0xffffffff), "x86_64");
}

TEST(MachOArchitecture, SixtyFourBitFlagFollowsTheCPUType) {
  QVXMachOSlice wide{nullptr, CPU_TYPE_ARM64, 0, 0};
  QVXMachOSlice narrow{nullptr, CPU_TYPE_ARM64_32, 1, 0};
  EXPECT_TRUE(QVXMachOSliceIs64Bit(&wide));
  EXPECT_FALSE(QVXMachOSliceIs64Bit(&narrow));
}
