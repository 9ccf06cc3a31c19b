#pragma once

// The objects of a binary property list that hold no other objects, read as
// Apple's reader reads them: every byte of a text or key kept, integers of
// 1, 2 and 4 bytes unsigned, of 8 bytes signed, of 16 bytes the unsigned
// number in their last 8, dates as seconds since 2001. Non-negative integers
// are held unsigned, negative ones signed.

#include <optional>
#include <string>

#include "platform/Value.h"
#include "platform/propertylists/BinaryPropertyListLayout.h"

namespace platform {

// The value of a null, boolean, integer, real, date, data, text or UID
// object (a UID as its number); nothing for any other marker, for contents
// outside the object area, for an ASCII text with a byte past 0x7F and for a
// UID past 32 bits, all of which Apple's reader refuses.
std::optional<Value> binaryLeafValue(const BinaryPropertyListLayout& layout,
                                     const BinaryObjectHead& head);

// The text of an ASCII or UTF-16 text object, as a dictionary key; nothing
// for any other object.
std::optional<std::string> binaryKeyText(const BinaryPropertyListLayout& layout,
                                         const BinaryObjectHead& head);

}  // namespace platform
