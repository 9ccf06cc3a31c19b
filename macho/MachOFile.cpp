#include "macho/MachOFile.h"

#include <algorithm>

#include "macho/MachOBytes.h"
#include "macho/MachOFatTable.h"
#include "macho/MachOFormat.h"
#include "macho/MachOHeader.h"
#include "macho/MachOSlices.h"
#include "platform/files/FileMapping.h"

namespace machofile {

namespace {

// The smallest file the reader opens: a fat header with one entry's start,
// or a Mach-O header's magic, CPU fields and command count.
constexpr std::uint64_t kMinimumFileSize = 16;
// The first read: the fat table of any usual file, or a thin file's header.
constexpr std::uint64_t kFirstReadSize = 4096;

// A file being copied into an image of the same size: each range lands at
// its own offset, and every range is cut at the image's end.
struct ImageCopy {
  int descriptor;
  std::uint8_t* image;
  std::uint64_t size;

  bool copy(std::uint64_t offset, std::uint64_t length) const {
    if (offset >= size) return true;
    return platform::readExactlyAt(descriptor, offset, image + offset,
                                   std::min(length, size - offset));
  }
};

// Whether the load-command walk (see MachOLoadCommands.h) of the slice
// ends within its first `copied` bytes.
bool walkEndsWithin(const ImageBytes& slice, const QVXMachOHeader& header, std::uint64_t copied) {
  std::uint64_t offset = header.size;
  for (std::uint64_t i = 0; i < header.fields.ncmds; ++i) {
    auto command = slice.read<load_command>(offset);
    if (!command || offset + sizeof(load_command) > copied) return false;
    const std::uint32_t cmdsize = QVXMachOInHostOrder(command->cmdsize, header.swapped);
    if (cmdsize < sizeof(load_command)) return true;
    offset += cmdsize;
  }
  return offset <= copied;
}

// The Mach-O header and the load commands of the slice at `offset`, which
// has `available` bytes: the bytes its readers use. One read takes the
// header and the usual command area; a larger area is read in doubling
// steps only as far as the walk goes, so a header that states a huge area
// over a few commands costs only those.
bool copySliceHeader(const ImageCopy& file, std::uint64_t offset, std::uint64_t available) {
  std::uint64_t copied = std::min(available, kFirstReadSize);
  if (offset != 0 && !file.copy(offset, copied)) return false;
  const ImageBytes bytes(file.image + offset, available);
  const auto header = QVXMachOReadHeader(bytes);
  if (!header) return true;
  const std::uint64_t end =
      std::min<std::uint64_t>(available, header->size + header->fields.sizeofcmds);
  while (copied < end && !walkEndsWithin(bytes, *header, copied)) {
    const std::uint64_t next = std::min(end, copied * 2);
    if (!file.copy(offset + copied, next - copied)) return false;
    copied = next;
  }
  return true;
}

// The fat table, then each slice's header and load commands.
bool copyFatHeaders(const ImageCopy& file) {
  const ImageBytes image(file.image, file.size);
  auto count = image.bigEndianWord(offsetof(fat_header, nfat_arch));
  const std::uint64_t entrySize = image.word(0) == FAT_MAGIC_64 || image.word(0) == FAT_CIGAM_64
                                      ? sizeof(fat_arch_64)
                                      : sizeof(fat_arch);
  if (!count) return false;
  const std::uint64_t tableEnd = sizeof(fat_header) + entrySize * *count;
  if (tableEnd > kFirstReadSize && !file.copy(kFirstReadSize, tableEnd - kFirstReadSize))
    return false;
  bool copied = true;
  QVXMachOEnumerateFatSlices(image, [&](const QVXMachOSlice* slice) {
    const auto offset = static_cast<std::uint64_t>(
        static_cast<const std::uint8_t*>(slice->startAddress) - file.image);
    copied = copied && copySliceHeader(file, offset, slice->availableSize);
  });
  return copied;
}

// Copies what the readers use into the zero-filled image of the file's
// size, starting with its first bytes; the sections are never read. False
// when the file shrank meanwhile.
bool copyHeaders(const ImageCopy& file) {
  if (!file.copy(0, kFirstReadSize)) return false;
  auto magic = ImageBytes(file.image, file.size).word(0);
  if (magic && QVXMachOIsFatMagic(*magic)) return copyFatHeaders(file);
  return copySliceHeader(file, 0, file.size);
}

}  // namespace

bool QVXMachOFileInitWithDescriptor(QVXMachOFile* file, int descriptor,
                                    const platform::FileStatus& status) {
  if (!file) return false;
  *file = QVXMachOFile{};
  file->mappedSize = status.size;
  if (status.size < kMinimumFileSize || !status.isRegularFile) return false;
  void* image = platform::reserveZeroedMemory(status.size);
  if (!image) return false;
  if (!copyHeaders({descriptor, static_cast<std::uint8_t*>(image), status.size})) {
    platform::releaseMemory(image, status.size);
    file->mappedSize = 0;
    return false;
  }
  file->fd = descriptor;
  file->mappedFile = image;
  file->identity = status.identity;
  return true;
}

bool QVXMachOFileInitWithPath(QVXMachOFile* file, const char* path) {
  if (!file || !path) return false;
  *file = QVXMachOFile{};
  int descriptor = platform::openForReading(path);
  if (descriptor < 0) return false;
  auto status = platform::fileStatus(descriptor);
  if (status && QVXMachOFileInitWithDescriptor(file, descriptor, *status)) return true;
  platform::closeFile(descriptor);
  return false;
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
    platform::releaseMemory(file->mappedFile, file->mappedSize);
  if (file->fd >= 0) platform::closeFile(file->fd);
  *file = QVXMachOFile{};
}

}  // namespace machofile
