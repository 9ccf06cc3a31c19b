#include "macho/MachOLoadCommands.h"

#include <algorithm>

#include "macho/MachOFormat.h"

namespace machofile {

namespace {

// Where the first command follows the header; 0 for an unknown magic.
std::uint64_t firstCommandOffset(std::uint32_t magic) {
  if (magic == MH_MAGIC_64 || magic == MH_CIGAM_64) return sizeof(mach_header_64);
  if (magic == MH_MAGIC || magic == MH_CIGAM) return sizeof(mach_header);
  return 0;
}

}  // namespace

void QVXMachOWalkCommands(const ImageBytes& image, std::uint64_t firstCommand, std::uint32_t count,
                          QVXMachOLoadCommandCallback callback) {
  const std::uint64_t calls = std::min<std::uint64_t>(count, image.size() / sizeof(load_command));
  std::uint64_t offset = firstCommand;
  for (std::uint64_t i = 0; i < calls; ++i) {
    auto command = image.read<load_command>(offset);
    if (!command || !image.contains(offset, command->cmdsize)) return;
    callback(command->cmd, command->cmdsize, image.start() + offset);
    offset += command->cmdsize;
  }
}

bool QVXMachOSliceHasHeader(const QVXMachOSlice* slice) {
  if (!slice || !slice->startAddress) return false;
  ImageBytes image(slice->startAddress, slice->availableSize);
  auto magic = image.word(0);
  return magic && firstCommandOffset(*magic) != 0 && image.read<mach_header>(0).has_value();
}

void QVXMachOSliceEnumerateLoadCommands(QVXMachOSlice* slice,
                                        QVXMachOLoadCommandCallback callback) {
  if (!callback || !slice || !slice->startAddress) return;
  ImageBytes image(slice->startAddress, slice->availableSize);
  auto magic = image.word(0);
  if (!magic) return;
  std::uint64_t firstCommand = firstCommandOffset(*magic);
  auto header = image.read<mach_header>(0);
  if (firstCommand == 0 || !header) return;
  slice->cputype = header->cputype;
  slice->cpusubtype = header->cpusubtype;
  QVXMachOWalkCommands(image, firstCommand, header->ncmds, callback);
}

}  // namespace machofile
