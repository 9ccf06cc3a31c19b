#include "platform/Text.h"

#include <cctype>
#include <limits>

namespace platform {

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when malformed.
size_t sequenceLength(std::string_view text, size_t i, std::uint32_t& codePoint) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length;
  std::uint32_t minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  return length;
}

}  // namespace

bool isValidUTF8(std::string_view bytes) { return utf16Length(bytes).has_value(); }

std::optional<std::size_t> utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    std::uint32_t codePoint = 0;
    size_t length = sequenceLength(utf8, i, codePoint);
    if (length == 0) return std::nullopt;
    units += codePoint >= 0x10000 ? 2 : 1;
    i += length;
  }
  return units;
}

namespace {

void appendUTF8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
    return;
  }
  int continuations = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
  static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[continuations] | (codePoint >> (6 * continuations)));
  for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6)
    out += static_cast<char>(0x80 | ((codePoint >> shift) & 0x3F));
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string utf8FromUTF16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t unit = units[i];
    if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      appendUTF8(out, 0x10000 + ((unit - 0xD800u) << 10) + (units[++i] - 0xDC00u));
    } else {
      appendUTF8(out, isHighSurrogate(unit) || isLowSurrogate(unit) ? 0xFFFD : unit);
    }
  }
  return out;
}

namespace {

// Whether XML 1.0 can carry the character: tab, line feed, carriage return,
// and everything from U+0020 on except U+FFFE and U+FFFF (surrogates never
// decode).
bool isXMLCharacter(std::uint32_t codePoint) {
  if (codePoint < 0x20) return codePoint == 0x09 || codePoint == 0x0A || codePoint == 0x0D;
  return codePoint != 0xFFFE && codePoint != 0xFFFF;
}

}  // namespace

std::string xmlCharacterText(std::string_view bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    std::uint32_t codePoint = 0;
    size_t length = sequenceLength(bytes, i, codePoint);
    if (length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (isXMLCharacter(codePoint))
      out.append(bytes.substr(i, length));
    else
      out += kReplacement;
    i += length;
  }
  return out;
}

std::int64_t integerValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < text.size() && isdigit(static_cast<unsigned char>(text[i])); ++i) {
    int digit = text[i] - '0';
    if (value > (kMax - digit) / 10)
      return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace platform
