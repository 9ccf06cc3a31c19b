#pragma once

#include <string_view>

#include "platform/Value.h"

namespace platform {

// The boolean-true rule of the platform's defaults: a number is true when
// non-zero; a text is true when, after leading white space and an optional
// sign followed by zeros, its first character is Y, y, T, t or 1 to 9.
bool isBooleanTrue(std::string_view text);
bool isBooleanTrue(const Value& value);

}  // namespace platform
