#include "platform/Format.h"

#include <gtest/gtest.h>

#include <optional>

using platform::format;

TEST(Format, ObjectPlaceholderPrintsTexts) {
  EXPECT_EQ(format("Src root %@", std::string("/p")), "Src root /p");
  EXPECT_EQ(format("%@/%@", "a", std::string_view("b")), "a/b");
}

TEST(Format, AbsentValuePrintsNull) {
  std::optional<std::string> none;
  EXPECT_EQ(format("name %@.", none), "name (null).");
  EXPECT_EQ(format("%@", nullptr), "(null)");
}

TEST(Format, IntegerPlaceholdersPrintAs32BitSigned) {
  EXPECT_EQ(format("%i and %d", 201, -2), "201 and -2");
  // A 64-bit status wider than 32 bits prints as its low 32 bits, signed.
  EXPECT_EQ(format("%i", std::uint64_t{0xFFFFFFFFull}), "-1");
  EXPECT_EQ(format("%i", true), "1");
}

TEST(Format, UnsignedLongPrintsWholeValue) {
  EXPECT_EQ(format("status: %lu", std::uint64_t{18446744073709551615ull}),
            "status: 18446744073709551615");
}

TEST(Format, PercentAndUnknownSpecifiersPassThrough) {
  EXPECT_EQ(format("100%% sure, %q"), "100% sure, %q");
  EXPECT_EQ(format("missing %@"), "missing (null)");
}

TEST(Format, ErrorsPrintWithDomainCodeAndDescription) {
  platform::Error error{"CURLErrorDomain", 7, "Couldn't connect to server"};
  EXPECT_EQ(format("%@", error),
            "Error Domain=CURLErrorDomain Code=7 \"Couldn't connect to server\"");
}

TEST(Format, ValuesPrintAsFoundationDescribesThem) {
  platform::Value text = "abc";
  platform::Value number = 42;
  platform::Value null;
  EXPECT_EQ(format("%@ %@ %@", text, number, null), "abc 42 (null)");
}
