#include "macho/MachOCompleteness.h"

#include "macho/MachOBytes.h"
#include "macho/MachOFatTable.h"
#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"
#include "macho/MachOLoadCommands.h"

namespace machofile {

namespace {

// Whether [offset, offset + length) lies within `size` bytes.
bool liesWithin(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

// An empty segment takes no bytes of the file, wherever it says it starts.
template <typename Segment>
bool segmentLiesWithin(const void* command, std::uint32_t cmdsize, std::uint64_t sliceSize) {
  auto segment = ImageBytes(command, cmdsize).read<Segment>(0);
  return segment &&
         (segment->filesize == 0 || liesWithin(segment->fileoff, segment->filesize, sliceSize));
}

bool sliceIsComplete(const ImageBytes& image, std::uint64_t offset, std::uint64_t size) {
  QVXMachOSlice slice{image.start() + offset, 0, 0, size};
  auto header = QVXMachOReadHeader(ImageBytes(slice.startAddress, size));
  if (!header) return true;
  if (!liesWithin(header->size, header->fields.sizeofcmds, size)) return false;
  bool within = true;
  QVXMachOSliceEnumerateLoadCommands(
      &slice, [&](std::uint32_t cmd, std::uint32_t cmdsize, const void* command) {
        if (cmd == LC_SEGMENT_64)
          within = within && segmentLiesWithin<segment_command_64>(command, cmdsize, size);
        else if (cmd == LC_SEGMENT)
          within = within && segmentLiesWithin<segment_command>(command, cmdsize, size);
      });
  return within;
}

}  // namespace

bool QVXMachOFileIsComplete(const QVXMachOFile* file) {
  if (!file || !file->mappedFile) return false;
  const ImageBytes image(file->mappedFile, file->mappedSize);
  auto magic = image.word(0);
  if (!magic || !QVXMachOIsFatMagic(*magic)) return sliceIsComplete(image, 0, image.size());
  bool complete = true;
  const bool tableWhole =
      QVXMachOEnumerateFatEntries(image, [&](std::uint64_t offset, std::uint64_t size) {
        complete = complete && liesWithin(offset, size, image.size()) &&
                   sliceIsComplete(image, offset, size);
      });
  return tableWhole && complete;
}

}  // namespace machofile
