#include "macho/MachOSections.h"

#include <cstring>
#include <optional>

#include "macho/MachOArchitecture.h"
#include "macho/MachOBytes.h"
#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"
#include "macho/MachOLoadCommands.h"

namespace machofile {

namespace {

const char* const kTextSegment = "__TEXT";

bool namesEqual(const char (&stored)[16], const char* name) {
  return std::strncmp(stored, name, sizeof(stored)) == 0;
}

// The file offset of the named section in a segment command, when the
// command holds it; sections that do not fit in the command are not read.
template <typename Segment, typename Section>
std::optional<std::uint32_t> sectionInSegment(const void* command, std::uint32_t cmdsize,
                                              bool anySegment, const char* sectionName) {
  ImageBytes bytes(command, cmdsize);
  auto segment = bytes.read<Segment>(0);
  if (!segment || (!anySegment && !namesEqual(segment->segname, kTextSegment))) return std::nullopt;
  for (std::uint64_t i = 0; i < segment->nsects; ++i) {
    auto found = bytes.read<Section>(sizeof(Segment) + sizeof(Section) * i);
    if (!found) return std::nullopt;
    if (namesEqual(found->sectname, sectionName) && namesEqual(found->segname, kTextSegment))
      return found->offset;
  }
  return std::nullopt;
}

// Our own form of the platform's getsectbynamefromheader lookups: the
// header's segment commands of the given kind, searched in order. An
// object file has one unnamed segment, so there any segment is searched.
template <typename Header, typename Segment, typename Section>
std::optional<std::uint32_t> findTextSection(const ImageBytes& image, std::uint32_t segmentCommand,
                                             const char* sectionName) {
  auto header = image.read<Header>(0);
  if (!header) return std::nullopt;
  const bool swapped = QVXMachOIsSwappedMagic(header->magic);
  const bool anySegment = QVXMachOInHostOrder(header->filetype, swapped) == MH_OBJECT;
  const QVXMachOCommandArea area{QVXMachOInHostOrder(header->ncmds, swapped),
                                 QVXMachOInHostOrder(header->sizeofcmds, swapped), swapped};
  std::optional<std::uint32_t> offset;
  QVXMachOWalkCommands(image, sizeof(Header), area,
                       [&](std::uint32_t cmd, std::uint32_t cmdsize, const void* command) {
                         if (offset || cmd != segmentCommand) return;
                         offset = sectionInSegment<Segment, Section>(command, cmdsize, anySegment,
                                                                     sectionName);
                       });
  return offset;
}

}  // namespace

void QVXMachOSliceGetSectionByName(const QVXMachOSlice* slice, const char* sectionName,
                                   const std::uint8_t** result) {
  if (!slice || !slice->startAddress || !result) return;
  *result = nullptr;
  if (!sectionName) return;
  ImageBytes image(slice->startAddress, slice->availableSize);
  auto offset =
      QVXMachOSliceIs64Bit(slice)
          ? findTextSection<mach_header_64, segment_command_64, section_64>(image, LC_SEGMENT_64,
                                                                            sectionName)
          : findTextSection<mach_header, segment_command, section>(image, LC_SEGMENT, sectionName);
  if (offset && *offset < image.size()) *result = image.start() + *offset;
}

void QVXMachOSliceGetUnwindInformation(const QVXMachOSlice* slice, const std::uint8_t** ehFrame,
                                       const std::uint8_t** unwindInfo) {
  if (ehFrame) QVXMachOSliceGetSectionByName(slice, "__eh_frame", ehFrame);
  if (unwindInfo) QVXMachOSliceGetSectionByName(slice, "__unwind_info", unwindInfo);
}

}  // namespace machofile
