#include "stand-ins/service/ZipDirectory.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace standin {

namespace {

const std::uint32_t kEndOfDirectory = 0x06054b50;
const std::uint32_t kZip64Locator = 0x07064b50;
const std::uint32_t kZip64EndOfDirectory = 0x06064b50;
const std::uint32_t kDirectoryEntry = 0x02014b50;
const std::uint64_t kDirectoryLimit = 64ull << 20;

std::uint64_t little(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

// Reads LENGTH bytes at OFFSET; false when the file is shorter.
bool readAt(std::ifstream& file, std::uint64_t offset, std::uint64_t length, std::string* out) {
  out->assign(length, '\0');
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(out->data(), static_cast<std::streamsize>(length));
  return static_cast<std::uint64_t>(file.gcount()) == length;
}

struct DirectoryPlace {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t count = 0;
};

// Finds the end-of-directory record in the archive's last 64 KiB and reads
// where the central directory lies (following the zip64 record when needed).
bool findDirectory(std::ifstream& file, std::uint64_t fileSize, DirectoryPlace* place,
                   std::string* error) {
  std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, 65557);
  std::string tail;
  if (!readAt(file, fileSize - tailSize, tailSize, &tail)) return *error = "unreadable", false;
  for (std::size_t at = tail.size() >= 22 ? tail.size() - 22 : std::string::npos;
       at != std::string::npos; at = at == 0 ? std::string::npos : at - 1) {
    if (little(tail, at, 4) != kEndOfDirectory) continue;
    place->count = little(tail, at + 10, 2);
    place->size = little(tail, at + 12, 4);
    place->offset = little(tail, at + 16, 4);
    if (place->offset != 0xffffffff && place->count != 0xffff) return true;
    if (at < 20 || little(tail, at - 20, 4) != kZip64Locator)
      return *error = "zip64 marker without a zip64 locator", false;
    std::string record;
    if (!readAt(file, little(tail, at - 20 + 8, 8), 56, &record) ||
        little(record, 0, 4) != kZip64EndOfDirectory)
      return *error = "unreadable zip64 end-of-directory record", false;
    place->count = little(record, 32, 8);
    place->size = little(record, 40, 8);
    place->offset = little(record, 48, 8);
    return true;
  }
  *error = "no end-of-directory record: not a zip archive";
  return false;
}

}  // namespace

std::optional<std::vector<std::string>> zipEntryNames(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return *error = "cannot open " + path, std::nullopt;
  std::uint64_t fileSize = static_cast<std::uint64_t>(file.tellg());
  DirectoryPlace place;
  if (!findDirectory(file, fileSize, &place, error)) return std::nullopt;
  if (place.size > kDirectoryLimit || place.offset + place.size > fileSize)
    return *error = "central directory outside the file", std::nullopt;
  std::string directory;
  if (!readAt(file, place.offset, place.size, &directory))
    return *error = "unreadable central directory", std::nullopt;
  std::vector<std::string> names;
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < place.count; ++i) {
    if (at + 46 > directory.size() || little(directory, at, 4) != kDirectoryEntry)
      return *error = "malformed central directory entry", std::nullopt;
    std::size_t nameLength = little(directory, at + 28, 2);
    std::size_t extraLength = little(directory, at + 30, 2);
    std::size_t commentLength = little(directory, at + 32, 2);
    if (at + 46 + nameLength > directory.size())
      return *error = "entry name outside the central directory", std::nullopt;
    names.push_back(directory.substr(at + 46, nameLength));
    at += 46 + nameLength + extraLength + commentLength;
  }
  return names;
}

std::string dsymTopFolder(const std::vector<std::string>& names, std::string* error) {
  if (names.empty()) return *error = "the archive is empty", "";
  const std::string& top = names.front();
  std::size_t slash = top.find('/');
  const std::string suffix = ".dSYM/";
  if (slash == std::string::npos || slash + 1 != top.size() || top.size() <= suffix.size() ||
      top.compare(top.size() - suffix.size(), suffix.size(), suffix) != 0)
    return *error = "the first entry is not a .dSYM folder: " + top, "";
  for (const std::string& name : names) {
    if (name.rfind(top, 0) != 0) return *error = "an entry lies outside " + top + ": " + name, "";
  }
  return top;
}

}  // namespace standin
