#include "platform/urlloading/URL.h"

#include <gtest/gtest.h>

namespace {

using platform::URL;

TEST(URL, ParsesAbsoluteURLs) {
  auto url = URL::URLWithString("https://api.example.test:8443/a/b?q=1");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->absoluteString(), "https://api.example.test:8443/a/b?q=1");
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->host(), "api.example.test");
  EXPECT_EQ(url->port(), 8443);
}

TEST(URL, DefaultPortComesFromTheScheme) {
  EXPECT_EQ(URL::URLWithString("https://h")->port(), 443);
  EXPECT_EQ(URL::URLWithString("http://h")->port(), 80);
}

TEST(URL, RefusesRelativeAndMalformedText) {
  EXPECT_FALSE(URL::URLWithString("/only/a/path").has_value());
  EXPECT_FALSE(URL::URLWithString("http://h/a b").has_value());
  EXPECT_FALSE(URL::URLWithString("").has_value());
  EXPECT_FALSE(URL::URLWithString(std::string("http://h/\0x", 10)).has_value());
}

TEST(URL, LeadingSlashReplacesTheBasePath) {
  auto base = *URL::URLWithString("https://h/base/path?x=1");
  EXPECT_EQ(URL::URLWithString_relativeToURL("/api/v3/x", base)->absoluteString(),
            "https://h/api/v3/x");
}

TEST(URL, RelativeReferencesResolveLikeLinks) {
  auto base = *URL::URLWithString("https://h/a/b");
  EXPECT_EQ(URL::URLWithString_relativeToURL("c", base)->absoluteString(), "https://h/a/c");
  EXPECT_EQ(URL::URLWithString_relativeToURL("../d", base)->absoluteString(), "https://h/d");
  EXPECT_EQ(URL::URLWithString_relativeToURL("http://other/z", base)->absoluteString(),
            "http://other/z");
  // Like a browser following a link, spaces in a reference are escaped.
  EXPECT_EQ(URL::URLWithString_relativeToURL("/a b", base)->absoluteString(), "https://h/a%20b");
  EXPECT_FALSE(URL::URLWithString_relativeToURL("//bad host/x", base).has_value());
}

TEST(URL, RelativePathIsDecodedWithoutTrailingSlash) {
  EXPECT_EQ(URL::URLWithString("http://h/a%20b/c/")->relativePath(), "/a b/c");
  EXPECT_EQ(URL::URLWithString("http://h/")->relativePath(), "/");
}

}  // namespace
