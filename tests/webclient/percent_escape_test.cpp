#include <gtest/gtest.h>

#include "platform/urlloading/PercentEscape.h"

namespace {

TEST(PercentEscape, LeavesLettersDigitsAndFourMarksAlone) {
  EXPECT_EQ(platform::percentEscapeQueryText("AZaz09-_.~"), "AZaz09-_.~");
}

TEST(PercentEscape, EscapesSpaceAndAmpersand) {
  EXPECT_EQ(platform::percentEscapeQueryText("a b&c"), "a%20b%26c");
}

TEST(PercentEscape, EscapesPercentSignOnce) {
  EXPECT_EQ(platform::percentEscapeQueryText("100%"), "100%25");
  EXPECT_EQ(platform::percentEscapeQueryText("%25"), "%2525");
}

TEST(PercentEscape, EscapesEachUTF8ByteInUppercase) {
  EXPECT_EQ(platform::percentEscapeQueryText("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(platform::percentEscapeQueryText("\xE2\x82\xAC"), "%E2%82%AC");
}

TEST(PercentEscape, EscapesEveryReservedCharacter) {
  EXPECT_EQ(platform::percentEscapeQueryText("!*'\"();:@&=+$,/?#[] "),
            "%21%2A%27%22%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%23%5B%5D%20");
}

TEST(PercentEscape, EscapesControlBytesAndKeepsEmptyText) {
  EXPECT_EQ(platform::percentEscapeQueryText(std::string("\n\0\x7f", 3)), "%0A%00%7F");
  EXPECT_EQ(platform::percentEscapeQueryText(""), "");
}

}  // namespace
