#include <gtest/gtest.h>

#include <string>

#include "shared/Categories/NSData+MD5.h"
#include "shared/Categories/NSString+MD5.h"

using Bytes = std::vector<std::uint8_t>;

TEST(MD5, RFC1321TestSuite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
  };
  for (const auto& [input, digest] : suite) {
    EXPECT_EQ(NSString_MD5::MD5(input), digest) << input;
    std::string text = input;
    EXPECT_EQ(NSData_MD5::MD5(Bytes(text.begin(), text.end())), digest) << input;
  }
  std::string eightyDigits;
  for (int i = 0; i < 8; ++i) eightyDigits += "1234567890";
  EXPECT_EQ(NSString_MD5::MD5(eightyDigits), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, EmptyTextAndEmptyBytesAgree) { EXPECT_EQ(NSString_MD5::MD5(""), NSData_MD5::MD5({})); }

TEST(MD5, TextIsDigestedAsUTF8) {
  EXPECT_EQ(NSString_MD5::MD5("\xC3\xA9"), NSData_MD5::MD5({0xC3, 0xA9}));
  EXPECT_NE(NSString_MD5::MD5("\xC3\xA9"), NSData_MD5::MD5({0xE9}));
}

TEST(MD5, TextIsCutAtTheFirstZero) {
  std::string withZero("ab\0cd", 5);
  EXPECT_EQ(NSString_MD5::MD5(withZero), NSString_MD5::MD5("ab"));
  // Bytes are digested whole, zero included.
  EXPECT_NE(NSData_MD5::MD5(Bytes(withZero.begin(), withZero.end())), NSString_MD5::MD5("ab"));
}
