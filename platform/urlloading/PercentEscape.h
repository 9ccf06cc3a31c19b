#pragma once

#include <string>
#include <string_view>

namespace platform {

// The query-escaping rule: the text taken as UTF-8 bytes, every byte other
// than an ASCII letter, an ASCII digit, "-", "_", "." or "~" written as "%"
// and two uppercase hexadecimal digits ("a b&c" gives "a%20b%26c", "%" gives
// "%25"). Never fails; bytes that are not UTF-8 are escaped one by one.
std::string percentEscapeQueryText(std::string_view text);

}  // namespace platform
