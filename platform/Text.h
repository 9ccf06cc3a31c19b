#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whether the bytes are well-formed UTF-8.
bool isValidUTF8(std::string_view bytes);

// The length of a UTF-8 text in UTF-16 code units, as the platform's text
// type counts it; nothing when the bytes are not UTF-8.
std::optional<std::size_t> utf16Length(std::string_view utf8);

// UTF-16 code units as UTF-8, each surrogate that is not half of a pair as
// U+FFFD (UTF-8 has no form for it).
std::string utf8FromUTF16(std::u16string_view units);

// The text with every character XML 1.0 cannot carry (C0 controls other than
// tab, line feed and carriage return, U+FFFE, U+FFFF) and every byte that is
// not part of a well-formed UTF-8 sequence replaced by U+FFFD; well-formed
// text of carriable characters comes back unchanged.
std::string xmlCharacterText(std::string_view bytes);

// The platform's text-to-integer rule: leading white space skipped, an
// optional sign, then the leading decimal digits; anything else gives 0.
std::int64_t integerValue(std::string_view text);

}  // namespace platform
