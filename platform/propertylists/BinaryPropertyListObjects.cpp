#include "platform/propertylists/BinaryPropertyListObjects.h"

#include <cstring>
#include <limits>

#include "platform/Text.h"

namespace platform {

namespace {

// 1, 2 and 4 bytes are unsigned, 8 bytes signed; of 16 bytes the last 8
// hold an unsigned number.
std::optional<Value> integerValue(const BinaryPropertyListLayout& layout, std::uint64_t at,
                                  unsigned sizeExponent) {
  if (sizeExponent > 4) return std::nullopt;
  const unsigned width = 1u << sizeExponent;
  if (!layout.fits(at, width)) return std::nullopt;
  if (width == 16) return Value(layout.number(at + 8, 8));
  const std::uint64_t bits = layout.number(at, width);
  if (width == 8 && bits > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return Value(static_cast<std::int64_t>(bits));
  return Value(bits);
}

// A big-endian IEEE 754 number of 4 or 8 bytes.
std::optional<double> floatingPoint(const BinaryPropertyListLayout& layout, std::uint64_t at,
                                    unsigned width) {
  if (!layout.fits(at, width)) return std::nullopt;
  const std::uint64_t bits = layout.number(at, width);
  if (width == 8) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  const auto narrow = static_cast<std::uint32_t>(bits);
  float value;
  std::memcpy(&value, &narrow, sizeof value);
  return value;
}

std::optional<Value> realValue(const BinaryPropertyListLayout& layout,
                               const BinaryObjectHead& head) {
  if (head.marker != 0x22 && head.marker != 0x23) return std::nullopt;
  auto value = floatingPoint(layout, head.contents, head.marker == 0x22 ? 4 : 8);
  return value ? std::optional<Value>(*value) : std::nullopt;
}

std::optional<Value> dateValue(const BinaryPropertyListLayout& layout,
                               const BinaryObjectHead& head) {
  if (head.marker != 0x33) return std::nullopt;
  auto seconds = floatingPoint(layout, head.contents, 8);
  return seconds ? std::optional<Value>(*seconds) : std::nullopt;
}

std::optional<Value> dataValue(const BinaryPropertyListLayout& layout,
                               const BinaryObjectHead& head) {
  if (!layout.fits(head.contents, head.count)) return std::nullopt;
  const std::uint8_t* bytes = layout.bytesAt(head.contents);
  return Value::binary(Bytes(bytes, bytes + head.count));
}

std::optional<std::string> asciiText(const BinaryPropertyListLayout& layout,
                                     const BinaryObjectHead& head) {
  if (!layout.fits(head.contents, head.count)) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(layout.bytesAt(head.contents));
  std::string text(bytes, head.count);
  for (char c : text)
    if (static_cast<unsigned char>(c) > 0x7F) return std::nullopt;
  return text;
}

std::optional<std::string> utf16Text(const BinaryPropertyListLayout& layout,
                                     const BinaryObjectHead& head) {
  if (head.count > std::numeric_limits<std::uint64_t>::max() / 2 ||
      !layout.fits(head.contents, 2 * head.count))
    return std::nullopt;
  std::u16string units(head.count, u'\0');
  for (std::uint64_t i = 0; i < head.count; ++i)
    units[i] = static_cast<char16_t>(layout.number(head.contents + 2 * i, 2));
  return utf8FromUTF16(units);
}

// A UID of 1 to 16 bytes, of which the last 8 count; Apple's reader takes
// none past 32 bits.
std::optional<Value> uidValue(const BinaryPropertyListLayout& layout,
                              const BinaryObjectHead& head) {
  const unsigned width = (head.marker & 0x0fu) + 1;
  if (!layout.fits(head.contents, width)) return std::nullopt;
  const unsigned kept = width > 8 ? 8 : width;
  const std::uint64_t number = layout.number(head.contents + width - kept, kept);
  if (number > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return Value(number);
}

std::optional<Value> simpleValue(std::uint8_t marker) {
  if (marker == 0x00) return Value();
  if (marker == 0x08 || marker == 0x09) return Value(marker == 0x09);
  return std::nullopt;  // fill bytes and unknown markers
}

std::optional<Value> textValue(std::optional<std::string> text) {
  return text ? std::optional<Value>(std::move(*text)) : std::nullopt;
}

}  // namespace

std::optional<Value> binaryLeafValue(const BinaryPropertyListLayout& layout,
                                     const BinaryObjectHead& head) {
  switch (head.kind()) {
    case 0x0:
      return simpleValue(head.marker);
    case 0x1:
      return integerValue(layout, head.contents, head.marker & 0x0fu);
    case 0x2:
      return realValue(layout, head);
    case 0x3:
      return dateValue(layout, head);
    case 0x4:
      return dataValue(layout, head);
    case 0x5:
    case 0x6:
      return textValue(binaryKeyText(layout, head));
    case 0x8:
      return uidValue(layout, head);
    default:
      return std::nullopt;
  }
}

std::optional<std::string> binaryKeyText(const BinaryPropertyListLayout& layout,
                                         const BinaryObjectHead& head) {
  if (head.kind() == 0x5) return asciiText(layout, head);
  if (head.kind() == 0x6) return utf16Text(layout, head);
  return std::nullopt;
}

}  // namespace platform
