#include "macho/MachOFatTable.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <optional>

#include "macho/MachOFormat.h"

namespace machofile {

namespace {

// One table entry in host order.
struct FatEntry {
  std::int32_t cputype;
  std::int32_t cpusubtype;
  std::uint64_t offset;
  std::uint64_t size;
};

// Entry `index` of a table of Arch (fat_arch or fat_arch_64) entries;
// nothing when it does not lie whole inside the image.
template <typename Arch>
std::optional<FatEntry> entryAt(const ImageBytes& image, std::uint64_t index) {
  auto entry = image.read<Arch>(sizeof(fat_header) + sizeof(Arch) * index);
  if (!entry) return std::nullopt;
  return FatEntry{ImageBytes::fromBigEndian(entry->cputype),
                  ImageBytes::fromBigEndian(entry->cpusubtype),
                  ImageBytes::fromBigEndian(entry->offset), ImageBytes::fromBigEndian(entry->size)};
}

// The byte ranges of the slices reported so far, which never overlap, keyed
// by their start; each look-up and insertion costs log(ranges).
class DisjointRanges {
 public:
  // Adds [start, end) unless it shares a byte with a range already held.
  bool addIfDisjoint(std::uint64_t start, std::uint64_t end) {
    auto next = ranges_.upper_bound(start);
    if (next != ranges_.end() && next->first < end) return false;
    if (next != ranges_.begin() && std::prev(next)->second > start) return false;
    ranges_.emplace_hint(next, start, end);
    return true;
  }

 private:
  std::map<std::uint64_t, std::uint64_t> ranges_;
};

template <typename Arch>
void enumerateEntries(const ImageBytes& image, QVXMachOSliceCallback callback) {
  auto count = image.bigEndianWord(offsetof(fat_header, nfat_arch));
  if (!count) return;
  DisjointRanges reported;
  QVXMachOSlice walk{};
  for (std::uint64_t i = 0; i < *count; ++i) {
    auto entry = entryAt<Arch>(image, i);
    if (!entry) return;
    if (entry->offset >= image.size() || entry->size == 0) continue;
    const std::uint64_t available = std::min(entry->size, image.size() - entry->offset);
    if (!reported.addIfDisjoint(entry->offset, entry->offset + available)) continue;
    walk.startAddress = image.start() + entry->offset;
    walk.availableSize = available;
    walk.cputype = entry->cputype;
    walk.cpusubtype = entry->cpusubtype;
    callback(&walk);
  }
}

template <typename Arch>
bool enumerateStatedEntries(const ImageBytes& image, QVXMachOFatEntryCallback callback) {
  auto count = image.bigEndianWord(offsetof(fat_header, nfat_arch));
  if (!count) return false;
  for (std::uint64_t i = 0; i < *count; ++i) {
    auto entry = entryAt<Arch>(image, i);
    if (!entry) return false;
    callback(entry->offset, entry->size);
  }
  return true;
}

}  // namespace

bool QVXMachOIsFatMagic(std::uint32_t magic) {
  return magic == FAT_MAGIC || magic == FAT_CIGAM || magic == FAT_MAGIC_64 || magic == FAT_CIGAM_64;
}

void QVXMachOEnumerateFatSlices(const ImageBytes& image, QVXMachOSliceCallback callback) {
  auto magic = image.word(0);
  if (!magic) return;
  if (*magic == FAT_MAGIC_64 || *magic == FAT_CIGAM_64) {
    enumerateEntries<fat_arch_64>(image, callback);
  } else if (*magic == FAT_MAGIC || *magic == FAT_CIGAM) {
    enumerateEntries<fat_arch>(image, callback);
  }
}

}  // namespace machofile

namespace machofile {

bool QVXMachOEnumerateFatEntries(const ImageBytes& image, QVXMachOFatEntryCallback callback) {
  auto magic = image.word(0);
  if (!magic) return false;
  if (*magic == FAT_MAGIC_64 || *magic == FAT_CIGAM_64)
    return enumerateStatedEntries<fat_arch_64>(image, callback);
  if (*magic == FAT_MAGIC || *magic == FAT_CIGAM)
    return enumerateStatedEntries<fat_arch>(image, callback);
  return false;
}

}  // namespace machofile
