#include "stand-ins/service/NameEscaping.h"

#include <cstdio>

namespace standin {

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the front of `text`
// (no overlong form, surrogate or value past U+10FFFF); 0 when there is none.
std::size_t sequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || text.size() < length) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!isContinuation(static_cast<unsigned char>(text[i]))) return 0;
  return length;
}

}  // namespace

std::string escapedName(std::string_view name) {
  std::string escaped;
  while (!name.empty()) {
    std::size_t length = sequenceLength(name);
    if (length > 0) {
      escaped.append(name.substr(0, length));
    } else {
      char byte[5];
      std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned char>(name[0]));
      escaped += byte;
      length = 1;
    }
    name.remove_prefix(length);
  }
  return escaped;
}

}  // namespace standin
