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

#include "platform/PropertyList.h"
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

// A binary list of the one object.
Bytes binaryOf(const PropertyListBytes& object) { return binaryPropertyList({object}); }

struct Row {
  std::string name;
  Bytes list;
  std::optional<Value> value;  // nothing: refused
};

std::vector<Row> rows() {
  return {
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
    ASSERT_EQ(value.has_value(), row.value.has_value()) << row.name;
    // The text form tells a signed -1 from an unsigned 2^64-1, which compare equal.
    if (value) {
      EXPECT_EQ(value->dump(), row.value->dump()) << row.name;
    }
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
