#pragma once

// The text forms of the facts that leave the reader: UUID strings and
// version texts.

#include <cstdint>
#include <optional>
#include <string>

#include "macho/MachORecords.h"

namespace machofile {

// The 16 UUID bytes as 32 lowercase hexadecimal digits, byte 0 first, no
// dashes; the empty text for absent bytes.
std::string QVXMachONormalizeUUID(const std::uint8_t* uuid);

// "major.minor.bugfix" in decimal; nothing for an absent triple.
std::optional<std::string> QVXMachOFormatVersion(const QVXMachOVersion* version);

}  // namespace machofile
