#pragma once

// Readers of the load commands the system decodes. Each takes a command as
// the load-command walk reports it (its stated size readable from its
// start), reads only fields that lie inside that size, and does not check
// the command number.

#include <cstdint>
#include <optional>

#include "macho/MachORecords.h"

namespace machofile {

// The 16 UUID bytes of an LC_UUID command; nullptr when the command is too
// short to hold them.
const std::uint8_t* QVXMachOGetUUID(const void* command);

// The NUL-terminated library path of a library-load command; nullptr when
// its offset or its terminating NUL lies outside the command.
const char* QVXMachOGetDylibPath(const void* command);

// Whether an encryption-info command's encryption id is not 0; false when
// the command is too short to hold it.
bool QVXMachOGetEncrypted(const void* command);

// The minimum OS version (+8) and the SDK version (+12) of a
// version-minimum command; 0.0.0 for a field the command is too short for.
QVXMachOVersion QVXMachOGetMinimumOSVersion(const void* command);
QVXMachOVersion QVXMachOGetLinkedSDKVersion(const void* command);

// The minimum OS version (minos, +12) and SDK version (+16) of an
// LC_BUILD_VERSION command, which current toolchains write in place of the
// version-minimum commands; 0.0.0 for a field the command is too short for.
QVXMachOVersion QVXMachOGetBuildMinimumOSVersion(const void* command);
QVXMachOVersion QVXMachOGetBuildSDKVersion(const void* command);

// The platform number of an LC_BUILD_VERSION command (+8; PLATFORM_MACOS,
// PLATFORM_IOS, ...); nothing when the command is too short to hold it.
std::optional<std::uint32_t> QVXMachOGetBuildPlatform(const void* command);

// Unpacks a packed version: major bits 31-16, minor 15-8, bugfix 7-0.
QVXMachOVersion QVXMachOUnpackVersion(std::uint32_t packed);

}  // namespace machofile
