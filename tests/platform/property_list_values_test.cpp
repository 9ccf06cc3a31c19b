// Values read from property lists are Apple's for the same bytes, whichever
// form the list takes: each row is a list and what Apple's reader makes of
// it, or nothing where that reader refuses the list.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/PropertyListFixtures.h"

using platform::Bytes;
using platform::Value;
using testsupport::binaryArrayObject;
using testsupport::binaryASCIIObject;
using testsupport::binaryDateObject;
using testsupport::binaryDictionaryObject;
using testsupport::binaryIntegerObject;
using testsupport::binaryObject;
using testsupport::binaryPropertyList;
using testsupport::PropertyListBytes;

namespace {

constexpr std::uint64_t kLargestUnsigned = std::numeric_limits<std::uint64_t>::max();

// An XML list of the one element.
Bytes xmlOf(const std::string& element) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
                     element + "</plist>\n";
  return Bytes(text.begin(), text.end());
}

// An XML list in UTF-16 with its byte-order mark.
Bytes utf16Of(const std::u16string& text, bool bigEndian) {
  Bytes bytes;
  for (char16_t unit : u"\uFEFF" + text) {
    const auto high = static_cast<std::uint8_t>(unit >> 8), low = static_cast<std::uint8_t>(unit);
    bytes.insert(bytes.end(), {bigEndian ? high : low, bigEndian ? low : high});
  }
  return bytes;
}

const std::u16string kUTF16List =
    u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\"><dict>"
    u"<key>\u00E9</key><string>\u20AC\U0001F600</string></dict></plist>\n";
const Value kUTF16ListValue = {{"\xC3\xA9", "\xE2\x82\xAC\xF0\x9F\x98\x80"}};

// A binary list of the one object.
Bytes binaryOf(const PropertyListBytes& object) { return binaryPropertyList({object}); }

struct Row {
  std::string name;
  Bytes list;
  std::optional<Value> value;  // nothing: refused
};

std::vector<Row> rows() {
  return {
      {"UTF-16, little-endian (XML)", utf16Of(kUTF16List, false), kUTF16ListValue},
      {"UTF-16, big-endian (XML)", utf16Of(kUTF16List, true), kUTF16ListValue},
      {"leading zero: 010 (XML)", xmlOf("<integer>010</integer>"), Value(10u)},
      {"leading zero: 09 (XML)", xmlOf("<integer>09</integer>"), Value(9u)},
      {"leading zero: -0755 (XML)", xmlOf("<integer>-0755</integer>"), Value(-755)},
      {"hexadecimal (XML)", xmlOf("<integer>0x1F</integer>"), Value(31u)},
      {"negative hexadecimal (XML)", xmlOf("<integer>-0X10</integer>"), Value(-16)},
      {"white space around the sign (XML)", xmlOf("<integer>\n + 12</integer>"), Value(12u)},
      {"2^64-1 (XML)", xmlOf("<integer>18446744073709551615</integer>"), Value(kLargestUnsigned)},
      {"2^63 (XML)", xmlOf("<integer>9223372036854775808</integer>"),
       Value(std::uint64_t{1} << 63)},
      {"-2^63 (XML)", xmlOf("<integer>-9223372036854775808</integer>"),
       Value(std::numeric_limits<std::int64_t>::min())},
      {"2^64 (XML)", xmlOf("<integer>18446744073709551616</integer>"), std::nullopt},
      {"-2^63-1 (XML)", xmlOf("<integer>-9223372036854775809</integer>"), std::nullopt},
      {"letters after the digits (XML)", xmlOf("<integer>12abc</integer>"), std::nullopt},
      {"an exponent in an integer (XML)", xmlOf("<integer>1e3</integer>"), std::nullopt},
      {"an empty integer (XML)", xmlOf("<integer></integer>"), std::nullopt},
      {"0x and no digits (XML)", xmlOf("<integer>0x</integer>"), std::nullopt},
      {"white space after the digits (XML)", xmlOf("<integer>12 </integer>"), std::nullopt},
      {"an exponent in a real (XML)", xmlOf("<real> 1e3</real>"), Value(1000.0)},
      {"a decimal comma (XML)", xmlOf("<real>1,5</real>"), std::nullopt},
      {"an empty real (XML)", xmlOf("<real/>"), std::nullopt},
      {"a date in 2100 (XML)", xmlOf("<date>2100-01-01T00:00:00Z</date>"), Value(3124137600.0)},
      {"a date in 1900 (XML)", xmlOf("<date>1900-01-01T00:00:00Z</date>"), Value(-3187296000.0)},
      {"a date without its time (XML)", xmlOf("<date>2020-01-01</date>"), std::nullopt},
      {"a date with a one-digit month (XML)", xmlOf("<date>2020-1-01T00:00:00Z</date>"),
       std::nullopt},
      {"a date in month 13 (XML)", xmlOf("<date>2020-13-01T00:00:00Z</date>"), std::nullopt},
      {"padded base64 (XML)", xmlOf("<data>AA\n E=</data>"), Value::binary({0, 1})},
      {"unpadded base64 (XML)", xmlOf("<data>AAE</data>"), std::nullopt},
      {"text inside <true> (XML)", xmlOf("<true>no</true>"), std::nullopt},
      {"2^64-1 in 16 bytes (binary)", binaryOf(binaryIntegerObject(kLargestUnsigned, 16)),
       Value(kLargestUnsigned)},
      {"2^63 in 16 bytes (binary)", binaryOf(binaryIntegerObject(std::uint64_t{1} << 63, 16)),
       Value(std::uint64_t{1} << 63)},
      {"-1 in 8 bytes (binary)", binaryOf(binaryIntegerObject(kLargestUnsigned, 8)),
       Value(std::int64_t{-1})},
      {"255 in 1 byte (binary)", binaryOf(binaryIntegerObject(255, 1)), Value(255u)},
      {"a date in 2100 (binary)", binaryOf(binaryDateObject(3124137600.0)), Value(3124137600.0)},
      {"a date in 1900 (binary)", binaryOf(binaryDateObject(-3187296000.0)), Value(-3187296000.0)},
      {"a date before 2001 with a fraction (binary)", binaryOf(binaryDateObject(-1.25)),
       Value(-1.25)},
      {"keys that differ after a NUL (binary)",
       binaryPropertyList({binaryDictionaryObject({1, 2}, {3, 4}),
                           binaryASCIIObject(std::string("a\0x", 3)),
                           binaryASCIIObject(std::string("a\0y", 3)), binaryIntegerObject(1, 1),
                           binaryIntegerObject(2, 1)}),
       Value::object({{std::string("a\0x", 3), 1u}, {std::string("a\0y", 3), 2u}})},
      {"UTF-16 text with a NUL and a pair of surrogates (binary)",
       binaryOf(binaryObject(0x64, {0x00, 0xE9, 0x00, 0x00, 0xD8, 0x3D, 0xDE, 0x00})),
       Value(std::string("\xC3\xA9\0\xF0\x9F\x98\x80", 7))},
      {"ASCII text with a byte past 0x7F (binary)", binaryOf(binaryObject(0x52, {'a', 0xE9})),
       std::nullopt},
      {"a fill byte (binary)", binaryOf(binaryObject(0x0F, {})), std::nullopt},
  };
}

std::string keyOf(std::size_t i) {
  std::string key = "k";
  return key += std::to_string(i);
}

// {"k0": 0, ...} with `keys` integer entries, or [0, 1, ...] of `items`.
Bytes wideBinaryList(std::size_t entries, bool dictionary) {
  std::vector<PropertyListBytes> objects(1);
  std::vector<std::uint32_t> keys, values;
  for (std::uint32_t i = 0; i < entries; ++i) {
    if (dictionary) {
      keys.push_back(static_cast<std::uint32_t>(objects.size()));
      objects.push_back(binaryASCIIObject(keyOf(i)));
    }
    values.push_back(static_cast<std::uint32_t>(objects.size()));
    objects.push_back(binaryIntegerObject(i, 4));
  }
  objects[0] = dictionary ? binaryDictionaryObject(keys, values) : binaryArrayObject(values);
  return binaryPropertyList(objects);
}

}  // namespace

TEST(PropertyListValuesTest, ValuesAreApplesForTheSameBytes) {
  for (const auto& row : rows()) {
    auto value = platform::propertyListFromData(row.list);
    // The text form tells a signed -1 from an unsigned 2^64-1, which compare equal.
    EXPECT_EQ(value ? value->dump() : "refused", row.value ? row.value->dump() : "refused")
        << row.name;
  }
}

// Each item or entry is read once: 200,000 of them take a fraction of a
// second (a few seconds under the sanitizers), where fetching each item by
// its index took minutes.
TEST(PropertyListValuesTest, WideBinaryListsAreReadInLinearTime) {
  const std::size_t entries = 200000;
  for (bool dictionary : {false, true}) {
    Bytes list = wideBinaryList(entries, dictionary);
    auto start = std::chrono::steady_clock::now();
    auto value = platform::propertyListFromData(list);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(value) << dictionary;
    EXPECT_EQ(value->size(), entries);
    EXPECT_EQ(dictionary ? (*value)[keyOf(entries - 1)] : value->back(), entries - 1);
    EXPECT_LT(seconds, 10.0) << (dictionary ? "dictionary" : "array");
  }
}
