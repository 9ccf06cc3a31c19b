#include "macho/MachOLoadCommands.h"

#include <algorithm>
#include <vector>

#include "macho/MachOCommandByteOrder.h"
#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"

namespace machofile {

void QVXMachOWalkCommands(const ImageBytes& image, std::uint64_t firstCommand,
                          const QVXMachOCommandArea& area, QVXMachOLoadCommandCallback callback) {
  if (firstCommand > image.size()) return;
  const ImageBytes commands(image.start() + firstCommand,
                            std::min<std::uint64_t>(area.sizeofcmds, image.size() - firstCommand));
  // A slice of the other byte order hands each command over as a host-order
  // copy, which lives only until the next command; the host's order costs
  // no copy.
  std::vector<std::uint8_t> hostOrder;
  std::uint64_t offset = 0;
  for (std::uint64_t i = 0; i < area.ncmds; ++i) {
    auto command = commands.read<load_command>(offset);
    if (!command) return;
    *command = QVXMachOInHostOrder(*command, area.swapped);
    if (!commands.contains(offset, command->cmdsize)) return;
    const void* start = commands.start() + offset;
    if (area.swapped) {
      QVXMachOCopyCommandInHostOrder(start, *command, hostOrder);
      start = hostOrder.data();
    }
    callback(command->cmd, command->cmdsize, start);
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
  QVXMachOWalkCommands(image, header->size,
                       {header->fields.ncmds, header->fields.sizeofcmds, header->swapped},
                       callback);
}

}  // namespace machofile
