#include "platform/Text.h"

#include <gtest/gtest.h>

using platform::integerValue;
using platform::utf16Length;

TEST(Text, UTF16LengthCountsCodeUnits) {
  EXPECT_EQ(utf16Length("abc"), 3u);
  EXPECT_EQ(utf16Length("\xC3\xA9"), 1u);          // é: two bytes, one unit
  EXPECT_EQ(utf16Length("\xF0\x9F\x98\x80"), 2u);  // U+1F600: a surrogate pair
  EXPECT_EQ(utf16Length(""), 0u);
}

TEST(Text, MalformedUTF8HasNoLength) {
  EXPECT_FALSE(utf16Length("\xFF"));
  EXPECT_FALSE(utf16Length("\xC3"));          // cut sequence
  EXPECT_FALSE(utf16Length("\xC0\xAF"));      // overlong "/"
  EXPECT_FALSE(utf16Length("\xED\xA0\x80"));  // a lone surrogate
}

TEST(Text, IntegerValueReadsLeadingDigits) {
  EXPECT_EQ(integerValue("8.0"), 8);
  EXPECT_EQ(integerValue("  -12x"), -12);
  EXPECT_EQ(integerValue("+203.1"), 203);
  EXPECT_EQ(integerValue("abc"), 0);
  EXPECT_EQ(integerValue(""), 0);
}
