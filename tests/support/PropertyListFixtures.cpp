#include "tests/support/PropertyListFixtures.h"

namespace testsupport {

namespace {

void appendBigEndian(PropertyListBytes& bytes, std::uint64_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
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
  PropertyListBytes object;
  if (references.size() < 15) {
    object.push_back(static_cast<std::uint8_t>(0xA0 | references.size()));
  } else {
    object.push_back(0xAF);
    object.push_back(0x12);
    appendBigEndian(object, references.size(), 4);
  }
  for (auto reference : references) appendBigEndian(object, reference, 4);
  return object;
}

PropertyListBytes binaryDictionaryObject(std::uint32_t key, std::uint32_t value) {
  PropertyListBytes object;
  object.push_back(0xD1);
  appendBigEndian(object, key, 4);
  appendBigEndian(object, value, 4);
  return object;
}

PropertyListBytes binaryASCIIObject(const std::string& text) {
  PropertyListBytes object;
  object.push_back(static_cast<std::uint8_t>(0x50 | text.size()));
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
