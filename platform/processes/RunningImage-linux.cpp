#include "platform/processes/RunningImage.h"

// Linux runs ELF images: the running process has no Mach-O image to name.

namespace platform {

std::optional<HostArchitecture> localArchitecture() { return std::nullopt; }

std::optional<ImageSpan> mainExecutableImage() { return std::nullopt; }

const char* imagePathContaining(const void*) { return nullptr; }

}  // namespace platform
