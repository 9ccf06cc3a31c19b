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

void QVXMachOWalkCommands(const ImageBytes& image, std::uint64_t firstCommand,
                          const QVXMachOCommandArea& area, QVXMachOLoadCommandCallback callback) {
  if (firstCommand > image.size()) return;
  const ImageBytes commands(image.start() + firstCommand,
                            std::min<std::uint64_t>(area.sizeofcmds, image.size() - firstCommand));
  std::uint64_t offset = 0;
  for (std::uint64_t i = 0; i < area.ncmds; ++i) {
    auto command = commands.read<load_command>(offset);
    if (!command || !commands.contains(offset, command->cmdsize)) return;
    callback(command->cmd, command->cmdsize, commands.start() + offset);
    // A command too short for its own start gives no place for the next.
    if (command->cmdsize < sizeof(load_command)) return;
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
  QVXMachOWalkCommands(image, firstCommand, {header->ncmds, header->sizeofcmds}, callback);
}

}  // namespace machofile
