#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct ZipExtractionLimits {
  std::uint64_t totalBytes = 16ull << 30;
  std::uint64_t ratioFloorBytes = 1u << 20;
  std::uint64_t maxRatio = 100;
};

// Extracts the zip at zipPath into a new private folder under TMPDIR (else /tmp). Returns the
// folder (the caller removes it with platform::removeItemAtPath, and should guard it against
// interrupts) or nothing, with errorText naming why (the entry, the limit) and nothing left behind.
std::optional<std::string> extractZipToPrivateFolder(const std::string& zipPath,
                                                     std::string& errorText,
                                                     const ZipExtractionLimits& limits = {});

}  // namespace platform
