#pragma once

// The values of the XML property-list elements whose text is a number, a
// date or bytes, read as Apple's reader reads that text, so that a file
// gives the same values here as there and text that reader refuses is
// refused, never read as a value of our own making.

#include <optional>
#include <string_view>

#include "platform/Value.h"

namespace platform {

// The value of an <integer>, <real>, <date> or <data> element from its text;
// nothing for text Apple's reader refuses or for another element.
//   integer: white space, an optional sign, white space, then decimal digits
//            or "0x" and hexadecimal ones, and nothing after; leading zeros
//            are no octal. From -2^63 to 2^64-1, non-negative ones unsigned.
//   real:    a decimal number (white space before it, nothing after), or
//            nan, inf, infinity with an optional sign, in any letter case.
//   date:    [-]YYYY-MM-DDTHH:MM:SSZ, any count of year digits, months 1 to
//            12, the other fields two digits each, counted on as Apple's
//            reader counts them (February 30 is March 1 or 2); seconds since
//            2001.
//   data:    base64, white space and other characters skipped, in whole
//            groups of four.
std::optional<Value> xmlLeafValue(std::string_view element, std::string_view text);

}  // namespace platform
