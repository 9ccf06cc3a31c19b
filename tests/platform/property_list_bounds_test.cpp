// Property lists as an adversary writes them: special files in place of a
// property list, files past the size limit, nesting deep enough to exhaust
// the parser's stack, and binary lists whose shared objects expand without
// end. Each gives a dictionary or nothing, never a wait or a crash.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/propertylists/PropertyList.h"
#include "platform/propertylists/PropertyListBounds.h"
#include "tests/support/PropertyListFixtures.h"
#include "tests/support/TestSupport.h"

using platform::Bytes;
using platform::Value;

namespace {

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

using testsupport::binaryArrayObject;
using testsupport::binaryASCIIObject;
using testsupport::binaryDictionaryObject;
using testsupport::binaryPropertyList;

std::string nestedXML(std::size_t levels) { return testsupport::nestedXMLPropertyList(levels); }
Bytes nestedBinary(std::size_t levels) { return testsupport::nestedBinaryPropertyList(levels); }
Bytes doublingBinary(std::size_t levels) { return testsupport::doublingBinaryPropertyList(levels); }

}  // namespace

class PropertyListBoundsTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

TEST_F(PropertyListBoundsTest, FIFOWithoutWriterGivesNothingWithoutWaiting) {
  const std::string path = dir / "Info.plist";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  auto read = std::async(std::launch::async,
                         [&] { return platform::dictionaryWithContentsOfFile(path).has_value(); });
  if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    // Let the blocked reader go before failing, so the test ends.
    int writer = open(path.c_str(), O_WRONLY);
    close(writer);
    read.wait();
    FAIL() << "the read waited for a writer";
  }
  EXPECT_FALSE(read.get());
}

TEST_F(PropertyListBoundsTest, DevicesAndDirectoriesGiveNothing) {
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile("/dev/zero"));
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile("/dev/null"));
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir.path()));
}

TEST_F(PropertyListBoundsTest, FileUpToTheSizeLimitIsReadAndOneByteMoreIsNot) {
  std::string text = nestedXML(1);
  text.resize(platform::kPropertyListMaximumBytes, ' ');
  testsupport::writeFile(dir / "limit.plist", text);
  auto read = platform::dictionaryWithContentsOfFile(dir / "limit.plist");
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)["CFBundleIdentifier"], "com.example.deep");
  text.push_back(' ');
  testsupport::writeFile(dir / "over.plist", text);
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir / "over.plist"));
  EXPECT_FALSE(platform::propertyListFromData(bytesOf(text)));
}

TEST_F(PropertyListBoundsTest, XMLNestedToTheLimitIsReadWhole) {
  testsupport::writeFile(dir / "deep.plist", nestedXML(platform::kPropertyListMaximumNesting));
  auto read = platform::dictionaryWithContentsOfFile(dir / "deep.plist");
  ASSERT_TRUE(read);
  const Value* inner = &(*read)["a"];
  for (std::size_t i = 2; i < platform::kPropertyListMaximumNesting; ++i) {
    ASSERT_TRUE(inner->is_array() && inner->size() == 1) << i;
    inner = &(*inner)[0];
  }
  EXPECT_EQ(*inner, Value::array({"x"}));
}

TEST_F(PropertyListBoundsTest, XMLNestedPastTheLimitIsMalformed) {
  for (std::size_t levels :
       {platform::kPropertyListMaximumNesting + 1, std::size_t{50000}, std::size_t{500000}}) {
    testsupport::writeFile(dir / "deep.plist", nestedXML(levels));
    EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir / "deep.plist")) << levels;
  }
}

TEST_F(PropertyListBoundsTest, EmptyElementsInARowAreNoNesting) {
  std::string text = "<plist version=\"1.0\"><dict><key>a</key><array>";
  for (int i = 0; i < 5000; ++i) text += i % 2 ? "<array/>" : "<dict />";
  text += "</array></dict></plist>";
  auto value = platform::propertyListFromData(bytesOf(text));
  ASSERT_TRUE(value);
  EXPECT_EQ((*value)["a"].size(), 5000u);
}

// Closing tags inside comments must not hide nesting the parser sees.
TEST_F(PropertyListBoundsTest, TagsInCommentsNeverLowerTheNesting) {
  std::string text = "<plist version=\"1.0\"><dict><key>a</key>";
  for (int i = 0; i < 1000; ++i) text += "<array><!-- </array> --><![CDATA[</array>]]>";
  for (int i = 0; i < 1000; ++i) text += "</array>";
  text += "</dict></plist>";
  EXPECT_FALSE(platform::propertyListFromData(bytesOf(text)));
  // Comments and declarations of an ordinary file count for nothing.
  std::string ordinary =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<!-- a comment -->";
  std::string deep = nestedXML(platform::kPropertyListMaximumNesting);
  ordinary += deep.substr(deep.find("<plist"));
  EXPECT_TRUE(platform::propertyListFromData(bytesOf(ordinary)));
}

TEST_F(PropertyListBoundsTest, BinaryNestedToTheLimitIsRead) {
  auto value = platform::propertyListFromData(nestedBinary(platform::kPropertyListMaximumNesting));
  ASSERT_TRUE(value);
  const Value* inner = &(*value)["a"];
  std::size_t levels = 1;
  while (inner->is_array()) {
    ++levels;
    inner = &(*inner)[0];
  }
  EXPECT_EQ(levels, platform::kPropertyListMaximumNesting);
  EXPECT_EQ(*inner, "x");
}

TEST_F(PropertyListBoundsTest, BinaryNestedPastTheLimitIsMalformed) {
  for (std::size_t levels :
       {platform::kPropertyListMaximumNesting + 1, std::size_t{50000}, std::size_t{500000}}) {
    Bytes bytes = nestedBinary(levels);
    EXPECT_FALSE(platform::propertyListFromData(bytes)) << levels;
    testsupport::writeFile(dir / "deep.plist", std::string(bytes.begin(), bytes.end()));
    EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir / "deep.plist")) << levels;
  }
}

TEST_F(PropertyListBoundsTest, BinarySharedObjectsThatExpandPastTheLimitAreMalformed) {
  // 2^13 values: shared objects are fine while the whole stays small.
  auto small = platform::propertyListFromData(doublingBinary(12));
  ASSERT_TRUE(small);
  EXPECT_EQ((*small)["a"][0][1][0].size(), 2u);
  // 2^21 and 2^60 values from a few hundred bytes.
  EXPECT_FALSE(platform::propertyListFromData(doublingBinary(20)));
  EXPECT_FALSE(platform::propertyListFromData(doublingBinary(60)));
}

TEST_F(PropertyListBoundsTest, BinaryObjectInsideItselfIsMalformed) {
  Bytes cycle = binaryPropertyList({binaryDictionaryObject(1, 2), binaryASCIIObject("a"),
                                    binaryArrayObject({3}), binaryArrayObject({2})});
  EXPECT_FALSE(platform::binaryPropertyListIsWithinBounds(cycle));
  EXPECT_FALSE(platform::propertyListFromData(cycle));
}

TEST_F(PropertyListBoundsTest, BinaryReferencesOutsideTheListAreMalformed) {
  Bytes bytes = binaryPropertyList({binaryDictionaryObject(1, 7), binaryASCIIObject("a")});
  EXPECT_FALSE(platform::binaryPropertyListIsWithinBounds(bytes));
  Bytes truncated = nestedBinary(3);
  truncated.resize(truncated.size() - 1);
  EXPECT_FALSE(platform::binaryPropertyListIsWithinBounds(truncated));
  Bytes wide = nestedBinary(3);
  wide[wide.size() - 25] = 9;  // reference size past 8 bytes
  EXPECT_FALSE(platform::binaryPropertyListIsWithinBounds(wide));
}

// A NUL byte inside a string is no XML: the list is refused, never an abort.
TEST_F(PropertyListBoundsTest, StringHoldingANulByteIsRefused) {
  std::string text =
      "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.example";
  text.push_back('\0');
  text += "x</string></dict></plist>";
  EXPECT_FALSE(platform::propertyListFromData(bytesOf(text)));
}

namespace {

// An Info.plist nested `levels` deep that puts `hidden` closing tags in an
// internal DTD subset after every `hidden` levels, which the parser skips.
std::string closesHiddenInASubset(std::size_t levels, std::size_t hidden) {
  std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>";
  for (std::size_t i = 1; i <= levels; ++i) {
    text += "<array>";
    if (i % hidden == 0) {
      text += "<!DOCTYPE x [";
      for (std::size_t k = 0; k < hidden; ++k) text += "</array>";
      text += "]>";
    }
  }
  for (std::size_t i = 0; i < levels; ++i) text += "</array>";
  return text + "</dict></plist>";
}

// Arrays nested `levels` deep around an empty array, which the scan of the
// text does not count as a level.
std::string nestedAroundAnEmptyArray(std::size_t levels) {
  std::string text = "<plist version=\"1.0\"><dict><key>a</key>";
  for (std::size_t i = 2; i < levels; ++i) text += "<array>";
  text += "<array/>";
  for (std::size_t i = 2; i < levels; ++i) text += "</array>";
  return text + "</dict></plist>";
}

std::string manyKeys(std::size_t count) {
  std::string text = "<plist version=\"1.0\"><dict>";
  for (std::size_t i = 0; i < count; ++i)
    text += "<key>k" + std::to_string(i) + "</key><integer>" + std::to_string(i) + "</integer>";
  return text + "<key>k0</key><string>again</string></dict></plist>";
}

}  // namespace

// Whatever the text seems to say before it is parsed, a list is read with
// the nesting and the entries the parser finds, or refused.
TEST_F(PropertyListBoundsTest, CraftedShapesAreReadOrRefused) {
  struct Shape {
    const char* name;
    std::string text;
    std::optional<std::size_t> entries;  // of the top dictionary; nothing: refused
  };
  const Shape shapes[] = {
      {"closing tags in an internal subset", closesHiddenInASubset(50000, 400), std::nullopt},
      {"an internal subset in the prolog",
       "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist version=\"1.0\"><dict/></plist>", std::nullopt},
      {"an entity reference", "<plist version=\"1.0\"><string>&e;</string></plist>", std::nullopt},
      {"a quoted '?>' in a processing instruction",
       "<?x a=\"?>\"?><plist version=\"1.0\"><dict/></plist>", std::nullopt},
      {"the limit around an empty array", nestedAroundAnEmptyArray(512), 1},
      {"one level past the limit around an empty array", nestedAroundAnEmptyArray(513),
       std::nullopt},
      {"150,000 keys, one of them twice", manyKeys(150000), 150000},
  };
  for (const auto& shape : shapes) {
    auto value = platform::propertyListFromData(bytesOf(shape.text));
    ASSERT_EQ(value.has_value(), shape.entries.has_value()) << shape.name;
    if (value) {
      EXPECT_EQ(value->size(), *shape.entries) << shape.name;
    }
  }
  auto wide = platform::propertyListFromData(bytesOf(manyKeys(150000)));
  EXPECT_EQ(wide->begin().key(), "k0");
  EXPECT_EQ((*wide)["k0"], "again");
  EXPECT_EQ((*wide)["k149999"], 149999);
}
