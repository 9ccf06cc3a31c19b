#include "tests/support/PropertyListFixtures.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

namespace {

void appendBigEndian(PropertyListBytes& bytes, std::uint64_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A marker with the count it states, the count after it when it is 15
// or more.
PropertyListBytes markerWithCount(std::uint8_t kind, std::size_t count) {
  if (count < 15) return {static_cast<std::uint8_t>(kind | count)};
  PropertyListBytes head = {static_cast<std::uint8_t>(kind | 0x0F), 0x12};
  appendBigEndian(head, count, 4);
  return head;
}

}  // namespace

std::string nestedXMLPropertyList(std::size_t levels, const std::string& identifier) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>CFBundleIdentifier</key><string>" +
      identifier + "</string><key>a</key>";
  text.reserve(text.size() + 16 * levels);
  for (std::size_t i = 1; i < levels; ++i) text += "<array>";
  text += "<string>x</string>";
  for (std::size_t i = 1; i < levels; ++i) text += "</array>";
  return text + "</dict></plist>\n";
}

PropertyListBytes binaryArrayObject(const std::vector<std::uint32_t>& references) {
  PropertyListBytes object = markerWithCount(0xA0, references.size());
  for (auto reference : references) appendBigEndian(object, reference, 4);
  return object;
}

PropertyListBytes binaryDictionaryObject(std::uint32_t key, std::uint32_t value) {
  return binaryDictionaryObject(std::vector<std::uint32_t>{key}, std::vector<std::uint32_t>{value});
}

PropertyListBytes binaryDictionaryObject(const std::vector<std::uint32_t>& keys,
                                         const std::vector<std::uint32_t>& values) {
  PropertyListBytes object = markerWithCount(0xD0, keys.size());
  for (auto reference : keys) appendBigEndian(object, reference, 4);
  for (auto reference : values) appendBigEndian(object, reference, 4);
  return object;
}

PropertyListBytes binaryObject(std::uint8_t marker, const PropertyListBytes& contents) {
  PropertyListBytes object(1 + contents.size(), marker);
  std::copy(contents.begin(), contents.end(), object.begin() + 1);
  return object;
}

PropertyListBytes binaryIntegerObject(std::uint64_t value, unsigned width) {
  std::uint8_t exponent = 0;
  while ((1u << exponent) < width) ++exponent;
  PropertyListBytes object(1 + width, 0);
  object[0] = static_cast<std::uint8_t>(0x10 | exponent);
  for (unsigned i = 0; i < width && i < 8; ++i)
    object[width - i] = static_cast<std::uint8_t>(value >> (8 * i));
  return object;
}

PropertyListBytes binaryDateObject(double seconds) {
  std::uint64_t bits;
  std::memcpy(&bits, &seconds, sizeof bits);
  PropertyListBytes object = {0x33};
  appendBigEndian(object, bits, 8);
  return object;
}

PropertyListBytes binaryASCIIObject(const std::string& text) {
  PropertyListBytes object = markerWithCount(0x50, text.size());
  for (char c : text) object.push_back(static_cast<std::uint8_t>(c));
  return object;
}

PropertyListBytes binaryPropertyList(const std::vector<PropertyListBytes>& objects) {
  const std::string magic = "bplist00";
  PropertyListBytes out(magic.begin(), magic.end());
  std::vector<std::uint64_t> offsets;
  for (const auto& object : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), object.begin(), object.end());
  }
  const std::uint64_t table = out.size();
  for (auto offset : offsets) appendBigEndian(out, offset, 4);
  out.insert(out.end(), 6, 0);
  out.push_back(4);  // offset size
  out.push_back(4);  // reference size
  appendBigEndian(out, objects.size(), 8);
  appendBigEndian(out, 0, 8);
  appendBigEndian(out, table, 8);
  return out;
}

PropertyListBytes nestedBinaryPropertyList(std::size_t levels) {
  std::vector<PropertyListBytes> objects = {binaryDictionaryObject(1, 2), binaryASCIIObject("a")};
  for (std::size_t i = 1; i < levels; ++i)
    objects.push_back(binaryArrayObject({static_cast<std::uint32_t>(objects.size() + 1)}));
  objects.push_back(binaryASCIIObject("x"));
  return binaryPropertyList(objects);
}

PropertyListBytes doublingBinaryPropertyList(std::size_t levels) {
  std::vector<PropertyListBytes> objects = {binaryDictionaryObject(1, 2), binaryASCIIObject("a")};
  for (std::size_t i = 0; i < levels; ++i) {
    auto next = static_cast<std::uint32_t>(objects.size() + 1);
    objects.push_back(binaryArrayObject({next, next}));
  }
  objects.push_back(binaryASCIIObject("x"));
  return binaryPropertyList(objects);
}

}  // namespace testsupport
