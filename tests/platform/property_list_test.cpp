#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/propertylists/PropertyList.h"
#include "tests/support/PermissionsHeeded.h"
#include "tests/support/TestSupport.h"

using platform::Value;

namespace {

const char* kXML = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.example.App</string>
  <key>Count</key><integer>-3</integer>
  <key>Flag</key><true/>
  <key>List</key><array><string>a</string><string>b</string></array>
</dict>
</plist>
)";

}  // namespace

class PropertyListTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

TEST_F(PropertyListTest, ReadsXMLAndBinaryFilesAlike) {
  testsupport::writeFile(dir / "a.plist", kXML);
  auto xml = platform::dictionaryWithContentsOfFile(dir / "a.plist");
  ASSERT_TRUE(xml);
  EXPECT_EQ((*xml)["CFBundleIdentifier"], "com.example.App");
  EXPECT_EQ((*xml)["Count"], -3);
  EXPECT_EQ((*xml)["Flag"], true);
  EXPECT_EQ((*xml)["List"], Value::array({"a", "b"}));

  // The binary form of the same dictionary, made by libplist itself.
  plist_t root = nullptr;
  plist_from_xml(kXML, static_cast<uint32_t>(strlen(kXML)), &root);
  ASSERT_TRUE(root);
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bin, &length);
  plist_free(root);
  std::string binary = dir / "b.plist";
  testsupport::writeFile(binary, std::string(bin, length));
  free(bin);
  ASSERT_EQ(testsupport::readFile(binary).substr(0, 8), "bplist00");
  auto fromBinary = platform::dictionaryWithContentsOfFile(binary);
  ASSERT_TRUE(fromBinary);
  EXPECT_EQ(*fromBinary, *xml);
}

TEST_F(PropertyListTest, MissingMalformedOrNonDictionaryFilesGiveNothing) {
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir / "missing.plist"));
  EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir.path()));  // a directory
  for (const char* junk : {"", "not a plist", "<plist><dict><key>a</key>", "bplist00\x01\x02",
                           "<?xml version=\"1.0\"?><plist><string>x</string></plist>"}) {
    testsupport::writeFile(dir / "bad.plist", junk);
    EXPECT_FALSE(platform::dictionaryWithContentsOfFile(dir / "bad.plist")) << junk;
  }
}

TEST_F(PropertyListTest, WriteThenReadGivesTheSameDictionary) {
  Value dict = {{"text", "é & <b>"},
                {"list", Value::array({"x"})},
                {"nested", {{"k", "v"}}},
                {"number", 42},
                {"largest unsigned", std::numeric_limits<std::uint64_t>::max()},
                {"smallest signed", std::numeric_limits<std::int64_t>::min()},
                {"empty", ""}};
  ASSERT_TRUE(platform::writePropertyListAtomically(dict, dir / "out.plist"));
  std::string written = testsupport::readFile(dir / "out.plist");
  EXPECT_NE(written.find("<?xml"), std::string::npos);
  auto back = platform::dictionaryWithContentsOfFile(dir / "out.plist");
  ASSERT_TRUE(back);
  // Compared as text: values compare equal to 2^64-1 when read back as -1.
  EXPECT_EQ(back->dump(), dict.dump());
}

TEST_F(PropertyListTest, FailedWriteLeavesNoFileBehind) {
  std::string folder = dir / "ro";
  testsupport::makeDirectories(folder);
  testsupport::writeFile(folder + "/keep.plist", "old");
  chmod(folder.c_str(), 0555);
  bool wrote = true;
  {
    testsupport::PermissionsHeeded heeded;
    wrote = platform::writePropertyListAtomically({{"a", "b"}}, folder + "/keep.plist");
  }
  chmod(folder.c_str(), 0755);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(testsupport::readFile(folder + "/keep.plist"), "old");
  EXPECT_FALSE(platform::writePropertyListAtomically({{"a", "b"}}, dir / "no/such/dir/x.plist"));
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST_F(PropertyListTest, WriteReplacesTheTargetWhole) {
  // The target is replaced by rename: a reader holding the old file keeps
  // seeing the old bytes, never a mixture.
  std::string path = dir / "Build.plist";
  ASSERT_TRUE(platform::writePropertyListAtomically({{"v", std::string(100000, 'a')}}, path));
  FILE* old = fopen(path.c_str(), "rb");
  ASSERT_TRUE(old);
  ASSERT_TRUE(platform::writePropertyListAtomically({{"v", "short"}}, path));
  std::string oldBytes;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, old)) > 0;) oldBytes.append(buffer, n);
  fclose(old);
  EXPECT_NE(oldBytes.find(std::string(100000, 'a')), std::string::npos);
  EXPECT_EQ((*platform::dictionaryWithContentsOfFile(path))["v"], "short");
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.exists();
  EXPECT_EQ(entries, 1u);  // no temporary file left
}

// What the tool writes is well-formed XML 1.0 for any text: a standard
// reader (Python's plistlib) takes it, finding U+FFFD for each character
// XML cannot carry and each byte that is not UTF-8, the rest unchanged.
TEST_F(PropertyListTest, WrittenTextIsReadAlikeByAStandardReader) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  struct Text {
    const char* name;
    std::string written;
    std::string read;
  };
  const Text texts[] = {
      {"an escape sequence", "\x1b[1;31m", kReplacement + "[1;31m"},
      {"a NUL byte and U+FFFF", std::string("a\0b\xEF\xBF\xBF", 6),
       "a" + kReplacement + "b" + kReplacement},
      {"Latin-1", "caf\xE9!", "caf" + kReplacement + "!"},
      {"a cut sequence and a surrogate", "\xE2\x82 \xED\xA0\x80",
       kReplacement + kReplacement + " " + kReplacement + kReplacement + kReplacement},
      {"white space", "a\tb\nc\rd\r\n", "a\tb\nc\rd\r\n"},
      {"markup", "<a> & ]]> \"'", "<a> & ]]> \"'"},
      {"other characters", "\xC3\xA9 \x7F \xC2\x85 \xF0\x9F\x98\x80 \xEF\xBF\xBD",
       "\xC3\xA9 \x7F \xC2\x85 \xF0\x9F\x98\x80 \xEF\xBF\xBD"},
  };
  Value written = Value::object();
  for (const auto& text : texts) written[text.name] = text.written;
  written["key\x01"] = "in a key";
  ASSERT_TRUE(platform::writePropertyListAtomically(written, dir / "out.plist"));

  auto reader =
      testsupport::runProcess({"/usr/bin/python3", "-c",
                               "import json, plistlib, sys\n"
                               "print(json.dumps(plistlib.load(open(sys.argv[1], 'rb'))))",
                               dir / "out.plist"},
                              {});
  ASSERT_EQ(reader.status, 0) << reader.err;
  Value read = Value::parse(reader.out);
  for (const auto& text : texts) EXPECT_EQ(read[text.name], text.read) << text.name;
  EXPECT_EQ(read["key" + kReplacement], "in a key");
  EXPECT_EQ(read.size(), written.size());
}

// Damaged UTF-16 text (half of a surrogate pair) is refused like any damaged
// list, without a word on stderr, where the XML library reports encoding
// errors by default.
TEST_F(PropertyListTest, DamagedUTF16IsRefusedInSilence) {
  std::string text = "\xFF\xFE";
  for (char c : std::string("<plist version=\"1.0\"><string>a")) text += {c, '\0'};
  text += "\x3D\xD8";  // U+D83D with no low half after it
  for (char c : std::string("x</string></plist>")) text += {c, '\0'};
  testing::internal::CaptureStderr();
  auto value = platform::propertyListFromData(platform::Bytes(text.begin(), text.end()));
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(value);
  EXPECT_EQ(written, "");
}
