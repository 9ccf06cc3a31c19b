#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The CPU type and subtype of the host, as Mach-O headers write them.
struct HostArchitecture {
  std::int32_t cputype = 0;
  std::int32_t cpusubtype = 0;
};

// A loaded image: its first byte and how many bytes from there are readable.
struct ImageSpan {
  const void* start = nullptr;
  std::uint64_t size = 0;
};

// The host's architecture in Mach-O terms; nothing when the platform has
// no such notion (always on Linux).
std::optional<HostArchitecture> localArchitecture();

// The running process's main executable when it is a Mach-O image; nothing
// otherwise (always on Linux, whose images are ELF).
std::optional<ImageSpan> mainExecutableImage();

// The file of the loaded Mach-O image that contains an address; nullptr
// when no such image is known (always on Linux).
const char* imagePathContaining(const void* address);

}  // namespace platform
