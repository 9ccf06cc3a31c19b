#include "macho/MachOHeader.h"

namespace machofile {

std::optional<QVXMachOHeader> QVXMachOReadHeader(const ImageBytes& slice) {
  auto stored = slice.read<mach_header>(0);
  if (!stored) return std::nullopt;
  std::uint64_t size = 0;
  if (stored->magic == MH_MAGIC_64 || stored->magic == MH_CIGAM_64)
    size = sizeof(mach_header_64);
  else if (stored->magic == MH_MAGIC || stored->magic == MH_CIGAM)
    size = sizeof(mach_header);
  else
    return std::nullopt;
  const bool swapped = QVXMachOIsSwappedMagic(stored->magic);
  if (!swapped) return QVXMachOHeader{*stored, size, false};
  const mach_header fields{stored->magic,
                           QVXMachOInHostOrder(stored->cputype, true),
                           QVXMachOInHostOrder(stored->cpusubtype, true),
                           QVXMachOInHostOrder(stored->filetype, true),
                           QVXMachOInHostOrder(stored->ncmds, true),
                           QVXMachOInHostOrder(stored->sizeofcmds, true),
                           QVXMachOInHostOrder(stored->flags, true)};
  return QVXMachOHeader{fields, size, true};
}

}  // namespace machofile
