#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace archiver {

// Where the last block of a complete raw deflate stream starts and where the
// stream ends, both in bits from its start (bit 0 is the low bit of byte 0).
struct StreamEnd {
  uint64_t finalBlockBit = 0;
  uint64_t endBit = 0;
};

// Finds the last block of a raw deflate stream by decoding it block by block
// into JUNK (a scratch buffer), with INFLATER a raw inflate stream made by
// inflateInit2(-MAX_WBITS). False when the data is not one complete stream.
bool findStreamEnd(z_stream& inflater, const unsigned char* data, size_t length,
                   std::vector<unsigned char>& junk, StreamEnd* end);

// Turns the complete stream in DATA into one that goes on: clears the final
// flag of its last block and appends an empty stored block, which ends on a
// byte boundary, so that another stream's bytes can follow. DATA must have
// room for 5 more bytes; returns the new length in bytes.
size_t makeStreamContinue(unsigned char* data, const StreamEnd& end);

}  // namespace archiver
