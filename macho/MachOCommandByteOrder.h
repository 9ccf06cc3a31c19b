#pragma once

// Load commands of a slice stored in the other byte order, turned into host
// order so that one set of readers serves both orders.

#include <cstdint>
#include <vector>

#include "macho/MachOFormat.h"

namespace machofile {

// Copies into `copy` the command at `stored`, whose start `start` is given
// in host order and whose stated size (at least its 8-byte start) is
// readable, and puts in host order its start and the fields of the commands
// the readers decode: segments and their sections (32 and 64-bit),
// version-minimum commands, LC_BUILD_VERSION (not its tool list),
// library-load commands and encryption info. The rest stays as stored (an
// LC_UUID's bytes have no order); a field cut by the command's end is
// left as stored, as the readers do not read it.
void QVXMachOCopyCommandInHostOrder(const void* stored, const load_command& start,
                                    std::vector<std::uint8_t>& copy);

}  // namespace machofile
