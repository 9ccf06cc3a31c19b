#pragma once

#include <cstdint>
#include <string>

#include "archiver/OutputFile.h"

namespace archiver {

// What deflating one file gave.
struct DeflateResult {
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
};

// Reads SIZE bytes of the open regular file FD from its start and appends
// them to OUT as one raw deflate stream. False, with *error naming PATH (or
// the archive), when reading or writing fails or the file ends early.
bool deflateFile(int fd, uint64_t size, const std::string& path, OutputFile& out,
                 DeflateResult* result, std::string* error);

}  // namespace archiver
