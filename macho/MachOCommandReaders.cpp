#include "macho/MachOCommandReaders.h"

#include <cstddef>
#include <cstring>

#include "macho/MachOBytes.h"
#include "macho/MachOFormat.h"

namespace machofile {

namespace {

// The command's own bytes: its stated size, of which the walk guarantees
// every byte readable (and at least the 8-byte start).
ImageBytes commandBytes(const void* command) {
  if (!command) return ImageBytes(nullptr, 0);
  load_command start;
  std::memcpy(&start, command, sizeof(start));
  return ImageBytes(command, start.cmdsize);
}

QVXMachOVersion versionAt(const void* command, std::uint64_t offset) {
  auto packed = commandBytes(command).word(offset);
  return packed ? QVXMachOUnpackVersion(*packed) : QVXMachOVersion{};
}

}  // namespace

QVXMachOVersion QVXMachOUnpackVersion(std::uint32_t packed) {
  return QVXMachOVersion{packed >> 16, (packed >> 8) & 0xff, packed & 0xff};
}

const std::uint8_t* QVXMachOGetUUID(const void* command) {
  ImageBytes bytes = commandBytes(command);
  if (!bytes.contains(offsetof(uuid_command, uuid), sizeof(uuid_command::uuid))) return nullptr;
  return bytes.start() + offsetof(uuid_command, uuid);
}

const char* QVXMachOGetDylibPath(const void* command) {
  ImageBytes bytes = commandBytes(command);
  auto nameOffset = bytes.word(offsetof(dylib_command, name_offset));
  if (!nameOffset || *nameOffset >= bytes.size()) return nullptr;
  const void* end = std::memchr(bytes.start() + *nameOffset, 0, bytes.size() - *nameOffset);
  if (!end) return nullptr;
  return reinterpret_cast<const char*>(bytes.start() + *nameOffset);
}

bool QVXMachOGetEncrypted(const void* command) {
  auto cryptid = commandBytes(command).word(offsetof(encryption_info_command, cryptid));
  return cryptid && *cryptid != 0;
}

QVXMachOVersion QVXMachOGetMinimumOSVersion(const void* command) {
  return versionAt(command, offsetof(version_min_command, version));
}

QVXMachOVersion QVXMachOGetLinkedSDKVersion(const void* command) {
  return versionAt(command, offsetof(version_min_command, sdk));
}

QVXMachOVersion QVXMachOGetBuildMinimumOSVersion(const void* command) {
  return versionAt(command, offsetof(build_version_command, minos));
}

std::optional<std::uint32_t> QVXMachOGetBuildPlatform(const void* command) {
  return commandBytes(command).word(offsetof(build_version_command, platform));
}

QVXMachOVersion QVXMachOGetBuildSDKVersion(const void* command) {
  return versionAt(command, offsetof(build_version_command, sdk));
}

}  // namespace machofile
