// Section lookup in the "__TEXT" segment.

#include <gtest/gtest.h>

#include "macho/QVXMachO.h"
#include "tests/macho/MachOBuilder.h"

using namespace machofile;
using namespace machobuilder;

namespace {

const std::uint8_t* sectionOf(const Bytes& image, std::int32_t cputype, const char* name) {
  QVXMachOSlice slice{image.data(), cputype, 0, image.size()};
  const std::uint8_t* result = reinterpret_cast<const std::uint8_t*>(1);
  QVXMachOSliceGetSectionByName(&slice, name, &result);
  return result;
}

}  // namespace

TEST(MachOSections, FindsTextSectionsByName) {
  Bytes image =
      MachOImage()
          .segment("__TEXT", {{"__text", 0x200}, {"__eh_frame", 0x280}, {"__unwind_info", 0x300}})
          .padding(0x400)
          .bytes();
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__text"), image.data() + 0x200);
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__unwind_info"), image.data() + 0x300);
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__const"), nullptr);
}

TEST(MachOSections, MissingUnwindInfoLeavesOnlyThatResultNone) {
  Bytes image = MachOImage()
                    .segment("__TEXT", {{"__text", 0x200}, {"__eh_frame", 0x280}})
                    .padding(0x400)
                    .bytes();
  QVXMachOSlice slice{image.data(), CPU_TYPE_ARM64, 0, image.size()};
  const std::uint8_t* ehFrame = nullptr;
  const std::uint8_t* unwindInfo = image.data();
  QVXMachOSliceGetUnwindInformation(&slice, &ehFrame, &unwindInfo);
  EXPECT_EQ(ehFrame, image.data() + 0x280);
  EXPECT_EQ(unwindInfo, nullptr);
}

TEST(MachOSections, AbsentResultPointerSkipsItsLookup) {
  Bytes image = MachOImage().segment("__TEXT", {{"__unwind_info", 0x200}}).padding(0x400).bytes();
  QVXMachOSlice slice{image.data(), CPU_TYPE_ARM64, 0, image.size()};
  const std::uint8_t* unwindInfo = nullptr;
  QVXMachOSliceGetUnwindInformation(&slice, nullptr, &unwindInfo);
  EXPECT_EQ(unwindInfo, image.data() + 0x200);
  QVXMachOSliceGetUnwindInformation(&slice, nullptr, nullptr);
}

TEST(MachOSections, ThirtyTwoBitSegmentsAreSearchedForThirtyTwoBitCPUs) {
  Bytes image = MachOImage(MH_MAGIC, CPU_TYPE_ARM, 9)
                    .segment("__TEXT", {{"__unwind_info", 0x100}})
                    .padding(0x200)
                    .bytes();
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM, "__unwind_info"), image.data() + 0x100);
}

TEST(MachOSections, LayoutFollowsTheRecordsCPUTypeNotTheMagic) {
  Bytes image = MachOImage(MH_MAGIC, CPU_TYPE_ARM, 9)
                    .segment("__TEXT", {{"__unwind_info", 0x100}})
                    .padding(0x200)
                    .bytes();
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__unwind_info"), nullptr);
}

TEST(MachOSections, SectionsOfOtherSegmentsAreNotFound) {
  Bytes image = MachOImage().segment("__DATA", {{"__unwind_info", 0x200}}).padding(0x400).bytes();
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__unwind_info"), nullptr);
}

TEST(MachOSections, ObjectFilesSearchTheirUnnamedSegment) {
  Bytes image = MachOImage(MH_MAGIC_64, CPU_TYPE_ARM64, 0, MH_OBJECT)
                    .segment("", {{"__eh_frame", 0x200}})
                    .padding(0x400)
                    .bytes();
  EXPECT_EQ(sectionOf(image, CPU_TYPE_ARM64, "__eh_frame"), image.data() + 0x200);
}

TEST(MachOSections, AbsentArgumentsLeaveTheResultUntouched) {
  Bytes image = MachOImage().segment("__TEXT", {{"__text", 0x200}}).padding(0x400).bytes();
  const std::uint8_t* result = image.data();
  QVXMachOSliceGetSectionByName(nullptr, "__text", &result);
  EXPECT_EQ(result, image.data());
  QVXMachOSlice empty{};
  QVXMachOSliceGetSectionByName(&empty, "__text", &result);
  EXPECT_EQ(result, image.data());
  QVXMachOSlice slice{image.data(), CPU_TYPE_ARM64, 0, image.size()};
  QVXMachOSliceGetSectionByName(&slice, "__text", nullptr);
}
