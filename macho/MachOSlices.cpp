#include "macho/MachOSlices.h"

#include <cstddef>
#include <cstring>

#include "macho/MachOArchitecture.h"
#include "macho/MachOBytes.h"
#include "macho/MachOFatTable.h"
#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"
#include "platform/processes/RunningImage.h"

namespace machofile {

namespace {

bool isMachOMagic(std::uint32_t magic) {
  return magic == MH_MAGIC || magic == MH_CIGAM || magic == MH_MAGIC_64 || magic == MH_CIGAM_64;
}

}  // namespace

void QVXMachOEnumerateSlicesAtAddress(const void* start, std::uint64_t size,
                                      QVXMachOSliceCallback callback) {
  if (!start || !callback) return;
  ImageBytes image(start, size);
  auto magic = image.word(0);
  if (magic && QVXMachOIsFatMagic(*magic)) {
    QVXMachOEnumerateFatSlices(image, callback);
    return;
  }
  QVXMachOSlice walk{start, 0, 0, size};
  if (magic && isMachOMagic(*magic)) {
    const bool swapped = QVXMachOIsSwappedMagic(*magic);
    auto cputype = image.word(offsetof(mach_header, cputype));
    auto cpusubtype = image.word(offsetof(mach_header, cpusubtype));
    if (cputype && cpusubtype) {
      walk.cputype = static_cast<std::int32_t>(QVXMachOInHostOrder(*cputype, swapped));
      walk.cpusubtype = static_cast<std::int32_t>(QVXMachOInHostOrder(*cpusubtype, swapped));
    }
  }
  callback(&walk);
}

void QVXMachOFileEnumerateSlices(const QVXMachOFile* file, QVXMachOSliceCallback callback) {
  if (!file) return;
  QVXMachOEnumerateSlicesAtAddress(file->mappedFile, file->mappedSize, callback);
}

QVXMachOSlice QVXMachOFileSliceWithArchitectureName(const QVXMachOFile* file, const char* name) {
  QVXMachOSlice found{};
  if (!name) return found;
  QVXMachOFileEnumerateSlices(file, [&](const QVXMachOSlice* slice) {
    if (std::strcmp(QVXMachOSliceGetArchitectureName(slice), name) == 0) found = *slice;
  });
  return found;
}

QVXMachOSlice QVXMachOSliceWithHeader(const void* header, std::uint64_t size) {
  return QVXMachOSlice{header, 0, 0, header ? size : 0};
}

QVXMachOSlice QVXMachOSliceGetCurrent() {
  QVXMachOSlice current{};
  if (auto host = platform::localArchitecture()) {
    current.cputype = host->cputype;
    current.cpusubtype = host->cpusubtype;
  }
  if (auto image = platform::mainExecutableImage()) {
    current.startAddress = image->start;
    current.availableSize = image->start ? image->size : 0;
  }
  return current;
}

const char* QVXMachOSliceGetExecutablePath(const QVXMachOSlice* slice) {
  if (!slice || !slice->startAddress) return nullptr;
  return platform::imagePathContaining(slice->startAddress);
}

}  // namespace machofile
