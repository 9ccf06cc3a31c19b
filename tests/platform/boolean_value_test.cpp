#include <gtest/gtest.h>

#include "platform/BooleanValue.h"

using platform::isBooleanTrue;
using platform::Value;

TEST(BooleanValue, TextsStartingWithYesTrueOrNonZeroDigitAreTrue) {
  for (const char* text :
       {"YES", "yes", "y", "T", "true", "1", "9abc", " +0012", "\t\n 7", "-05"}) {
    EXPECT_TRUE(isBooleanTrue(std::string_view(text))) << text;
  }
}

TEST(BooleanValue, OtherTextsAreFalse) {
  for (const char* text : {"", "0", "-0", "+000", "N", "no", "false", "  ", "x1", "00", "+-1"}) {
    EXPECT_FALSE(isBooleanTrue(std::string_view(text))) << '"' << text << '"';
  }
}

TEST(BooleanValue, LeadingZerosAreSkippedWithOrWithoutASign) {
  // Zeros after the optional sign are passed over: "0012" reads as 12.
  EXPECT_TRUE(isBooleanTrue(std::string_view("0012")));
  EXPECT_TRUE(isBooleanTrue(std::string_view("+0012")));
  EXPECT_TRUE(isBooleanTrue(std::string_view(" 0y")));
  EXPECT_FALSE(isBooleanTrue(std::string_view("000")));
  EXPECT_FALSE(isBooleanTrue(std::string_view("00n")));
}

TEST(BooleanValue, NumbersAreTrueWhenNonZero) {
  EXPECT_TRUE(isBooleanTrue(Value(1)));
  EXPECT_TRUE(isBooleanTrue(Value(-3)));
  EXPECT_TRUE(isBooleanTrue(Value(0.5)));
  EXPECT_FALSE(isBooleanTrue(Value(0)));
  EXPECT_FALSE(isBooleanTrue(Value(0.0)));
  EXPECT_TRUE(isBooleanTrue(Value(true)));
  EXPECT_FALSE(isBooleanTrue(Value(false)));
}

TEST(BooleanValue, OtherKindsAreFalse) {
  EXPECT_FALSE(isBooleanTrue(Value()));
  EXPECT_FALSE(isBooleanTrue(Value::array({1})));
}
