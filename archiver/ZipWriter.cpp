#include "archiver/ZipWriter.h"

#include <zlib.h>

namespace archiver {

namespace {

// Files this large get ZIP64 sizes in their local header: the room left
// below 4 GiB covers what deflate may add to incompressible data.
constexpr uint64_t kLocalZip64Size = kMax32 - (uint64_t{1} << 26);

}  // namespace

EntryRecord ZipWriter::recordFor(const std::string& name, const struct stat& info) const {
  EntryRecord entry;
  entry.name = name;
  entry.mode = info.st_mode;
  entry.mtime = info.st_mtime;
  entry.localOffset = out_.offset();
  return entry;
}

bool ZipWriter::addStored(EntryRecord entry, const std::string& content, std::string* error) {
  if (entry.name.size() > kMax16) {
    *error = entry.name + ": the name is too long for a zip archive";
    return false;
  }
  entry.method = kStored;
  entry.size = entry.compressedSize = content.size();
  entry.crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
  if (!out_.write(localHeader(entry), error) || !out_.write(content, error)) return false;
  entries_.push_back(std::move(entry));
  return true;
}

bool ZipWriter::addDirectory(const std::string& name, const struct stat& info, std::string* error) {
  return addStored(recordFor(name, info), "", error);
}

bool ZipWriter::addLink(const std::string& name, const std::string& target, const struct stat& info,
                        std::string* error) {
  return addStored(recordFor(name, info), target, error);
}

bool ZipWriter::addFile(const std::string& name, int fd, const struct stat& info,
                        const std::string& path, std::string* error) {
  EntryRecord entry = recordFor(name, info);
  auto size = static_cast<uint64_t>(info.st_size);
  if (size == 0) return addStored(entry, "", error);
  if (name.size() > kMax16) {
    *error = path + ": the name is too long for a zip archive";
    return false;
  }
  entry.method = kDeflated;
  entry.size = size;
  entry.localZip64 = size >= kLocalZip64Size;
  entry.described = streamed_;
  if (!out_.write(localHeader(entry), error)) return false;
  DeflateResult result;
  if (!pool_.deflateFile(fd, size, path, out_, &result, error)) return false;
  entry.crc = result.crc;
  entry.compressedSize = result.compressedSize;
  if (!entry.localZip64 && entry.compressedSize >= kMax32) {
    *error = path + ": the file does not compress to a size a zip archive can hold";
    return false;
  }
  if (!recordSizes(entry, error)) return false;
  entries_.push_back(std::move(entry));
  return true;
}

bool ZipWriter::recordSizes(const EntryRecord& entry, std::string* error) {
  if (entry.described) return out_.write(dataDescriptor(entry), error);
  return out_.patch(localSizesOffset(entry), localSizes(entry), error) &&
         (!entry.localZip64 ||
          out_.patch(localZip64SizesOffset(entry), localZip64Sizes(entry), error));
}

bool ZipWriter::finish(std::string* error) {
  uint64_t centralOffset = out_.offset();
  for (const EntryRecord& entry : entries_)
    if (!out_.write(centralHeader(entry), error)) return false;
  uint64_t centralSize = out_.offset() - centralOffset;
  return out_.write(endRecords(entries_.size(), centralOffset, centralSize), error) &&
         out_.flush(error);
}

}  // namespace archiver
