#include "archiver/DeflateJoin.h"

namespace archiver {

bool findStreamEnd(z_stream& inflater, const unsigned char* data, size_t length,
                   std::vector<unsigned char>& junk, StreamEnd* end) {
  if (inflateReset(&inflater) != Z_OK) return false;
  inflater.next_in = const_cast<unsigned char*>(data);
  inflater.avail_in = static_cast<uInt>(length);
  uint64_t blockStart = 0;
  for (;;) {
    inflater.next_out = junk.data();
    inflater.avail_out = static_cast<uInt>(junk.size());
    int status = inflate(&inflater, Z_BLOCK);
    if (status != Z_OK) return false;
    uint64_t consumedBits = uint64_t{length - inflater.avail_in} * 8;
    // The low six bits of data_type count the bits taken from the input but
    // not used yet; 128 marks a stop at the end of a block, 64 that the
    // block was the last one.
    uint64_t position = consumedBits - static_cast<uint64_t>(inflater.data_type & 63);
    if (inflater.data_type & 128) {
      if (inflater.data_type & 64) {
        end->finalBlockBit = blockStart;
        end->endBit = position;
        return (data[blockStart / 8] >> (blockStart % 8) & 1) == 1;
      }
      blockStart = position;
    } else if (inflater.avail_in == 0 && inflater.avail_out != 0) {
      return false;  // the stream stops short
    }
  }
}

size_t makeStreamContinue(unsigned char* data, const StreamEnd& end) {
  data[end.finalBlockBit / 8] &= static_cast<unsigned char>(~(1u << (end.finalBlockBit % 8)));
  // The empty stored block: three zero header bits (not final, type 0),
  // zero bits up to the byte boundary, then LEN 0 and NLEN 0xffff.
  size_t length = static_cast<size_t>(end.endBit / 8);
  unsigned usedBits = static_cast<unsigned>(end.endBit % 8);
  if (usedBits != 0) {
    data[length] &= static_cast<unsigned char>((1u << usedBits) - 1);
    ++length;
  }
  if (usedBits == 0 || usedBits > 5) data[length++] = 0;
  data[length++] = 0;
  data[length++] = 0;
  data[length++] = 0xff;
  data[length++] = 0xff;
  return length;
}

}  // namespace archiver
