#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// How far a zip may expand before it is taken for a bomb: an entry larger
// than ratioFloorBytes may expand to at most maxRatio times the bytes it
// takes in the zip; all entries together, once past wholeRatioFloorBytes,
// to at most maxRatio times the bytes read of the zip so far, and never
// past totalBytes. A zip may hold at most maxEntries entries, each at most
// maxDepth path components deep (the removal of the folder, even from a
// signal handler, reaches that deep).
//
// The whole zip gets the same ratio as one entry, so that a zip whose
// entries each stay within it passes, whatever their number (real dSYM zips
// expand 3 to 6 times; zero padding makes a single file expand more, which
// the entry rule already allows up to maxRatio). Small entries are not
// bounded one by one, so without the whole-zip rule hundreds of them, each
// just under the entry floor, would expand a zip a thousandfold. The first
// 8 MiB are free: a small zip of small, very compressible files (a test
// build's dSYM, property lists) may expand past the ratio, and 8 MiB of
// disk is no harm.
struct ZipExtractionLimits {
  std::uint64_t totalBytes = 16ull << 30;
  std::uint64_t ratioFloorBytes = 1u << 20;
  std::uint64_t maxRatio = 100;
  std::uint64_t maxEntries = 100000;
  std::size_t maxDepth = 32;
  std::uint64_t wholeRatioFloorBytes = 8u << 20;
};

// Extracts the zip at zipPath into a new private folder (mode 0700) under
// TMPDIR, else /tmp, and returns that folder; the caller removes it with
// removeItemTreeAtPath. Only folders and regular files (modes at most 0755)
// are made. Nothing, with errorText naming the zip and the entry or limit,
// when the file is not a readable zip, when an entry is a link, a device or
// a name reaching out of the folder (absolute, or with a ".." component),
// when a name comes twice or is not UTF-8, or when a limit is passed; the
// folder is then already removed.
std::optional<std::string> extractZipToPrivateFolder(const std::string& zipPath,
                                                     std::string& errorText,
                                                     const ZipExtractionLimits& limits = {});

}  // namespace platform
