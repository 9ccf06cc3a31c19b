// platform::FileURL: the URLs the Mach-O objects are opened from.

#include <gtest/gtest.h>

#include "platform/files/FileURL.h"

using platform::FileURL;

TEST(FileURL, ReferenceWithoutSchemeNamesItsPath) {
  auto url = FileURL::URLWithString("/Users/dev/Build/Products/App.app/App");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->path(), "/Users/dev/Build/Products/App.app/App");
}

TEST(FileURL, RelativeReferenceKeepsItsPath) {
  EXPECT_EQ(FileURL::URLWithString("build/App")->path(), "build/App");
}

TEST(FileURL, CharactersAURLMayNotHoldGiveNothing) {
  for (const char* text : {"/a b/App", "/a\tb", "/caf\xc3\xa9", "/a\"b", "/a<b>", "/a\\b", "/a{b}",
                           "/a|b", "/a^b", "/a`b", "/a%zz", "/a%2"})
    EXPECT_FALSE(FileURL::URLWithString(text)) << text;
}

TEST(FileURL, EscapesAreDecodedInThePath) {
  EXPECT_EQ(FileURL::URLWithString("/a%20b/App")->path(), "/a b/App");
  EXPECT_EQ(FileURL::URLWithString("/a%00b")->path(), std::nullopt);
}

TEST(FileURL, QueryAndFragmentAreNotPartOfThePath) {
  EXPECT_EQ(FileURL::URLWithString("/a/b?x=1#y")->path(), "/a/b");
}

TEST(FileURL, FileSchemeNamesItsPath) {
  EXPECT_EQ(FileURL::URLWithString("file:///tmp/App")->path(), "/tmp/App");
  EXPECT_EQ(FileURL::URLWithString("FILE://localhost/tmp/App")->path(), "/tmp/App");
}

TEST(FileURL, OtherSchemesNameNoFile) {
  auto url = FileURL::URLWithString("https://example.com/App");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->path(), std::nullopt);
  EXPECT_EQ(FileURL::URLWithString("")->path(), std::nullopt);
}

TEST(FileURL, PathBecomesAnEscapedFileURL) {
  auto url = FileURL::fileURLWithPath("/tmp/a b/é");
  EXPECT_EQ(url.absoluteString(), "file:///tmp/a%20b/%C3%A9");
  EXPECT_EQ(url.path(), "/tmp/a b/é");
  EXPECT_EQ(FileURL::URLWithString(url.absoluteString())->path(), "/tmp/a b/é");
}
