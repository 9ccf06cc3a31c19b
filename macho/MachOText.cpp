#include "macho/MachOText.h"

#include "platform/Digest.h"
#include "platform/Format.h"

namespace machofile {

std::string QVXMachONormalizeUUID(const std::uint8_t* uuid) {
  if (!uuid) return "";
  return platform::lowercaseHex(uuid, 16);
}

std::optional<std::string> QVXMachOFormatVersion(const QVXMachOVersion* version) {
  if (!version) return std::nullopt;
  return platform::format("%d.%d.%d", version->major, version->minor, version->bugfix);
}

}  // namespace machofile
