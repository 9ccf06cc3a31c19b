#include "macho/MachOFile.h"

#include "macho/MachOSlices.h"
#include "platform/FileMapping.h"

namespace machofile {

namespace {

// The smallest file the reader maps: a fat header with one entry's start,
// or a Mach-O header's magic, CPU fields and command count.
constexpr std::uint64_t kMinimumFileSize = 16;

}  // namespace

bool QVXMachOFileInitWithPath(QVXMachOFile* file, const char* path) {
  if (!file || !path) return false;
  *file = QVXMachOFile{};
  int descriptor = platform::openForReading(path);
  if (descriptor < 0) return false;
  auto status = platform::fileStatus(descriptor);
  if (!status) {
    platform::closeFile(descriptor);
    return false;
  }
  file->mappedSize = status->size;
  if (status->size < kMinimumFileSize || !status->isRegularFile) {
    platform::closeFile(descriptor);
    return false;
  }
  const void* mapping = platform::mapReadOnly(descriptor, status->size);
  if (!mapping) {
    platform::closeFile(descriptor);
    return false;
  }
  file->fd = descriptor;
  file->mappedFile = mapping;
  return true;
}

bool QVXMachOFileInitWithCurrent(QVXMachOFile* file) {
  if (!file) return false;
  QVXMachOSlice current = QVXMachOSliceGetCurrent();
  const char* path = QVXMachOSliceGetExecutablePath(&current);
  if (!path) {
    *file = QVXMachOFile{};
    return false;
  }
  return QVXMachOFileInitWithPath(file, path);
}

void QVXMachOFileDestroy(QVXMachOFile* file) {
  if (!file) return;
  if (file->mappedFile && file->mappedSize != 0)
    platform::unmapFile(file->mappedFile, file->mappedSize);
  if (file->fd >= 0) platform::closeFile(file->fd);
  *file = QVXMachOFile{};
}

}  // namespace machofile
