#include "macho/MachOLoadCommands.h"

#include <algorithm>

#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"

namespace machofile {

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
  return QVXMachOReadHeader(ImageBytes(slice->startAddress, slice->availableSize)).has_value();
}

void QVXMachOSliceEnumerateLoadCommands(QVXMachOSlice* slice,
                                        QVXMachOLoadCommandCallback callback) {
  if (!callback || !slice || !slice->startAddress) return;
  ImageBytes image(slice->startAddress, slice->availableSize);
  auto header = QVXMachOReadHeader(image);
  if (!header) return;
  slice->cputype = header->fields.cputype;
  slice->cpusubtype = header->fields.cpusubtype;
  QVXMachOWalkCommands(image, header->size, {header->fields.ncmds, header->fields.sizeofcmds},
                       callback);
}

}  // namespace machofile
