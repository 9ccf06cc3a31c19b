#pragma once

// Limits on the property lists the tool parses. The XML reader counts the
// nesting as it reads; binary lists are checked on the bytes before any
// value is built, since the binary form may share one object among many
// references (or refer to an object from inside itself), so a small file
// could otherwise expand without end or never finish.

#include <cstddef>
#include <cstdint>

#include "platform/Value.h"

namespace platform {

// The largest property list read, in bytes.
inline constexpr std::size_t kPropertyListMaximumBytes = std::size_t{64} << 20;

// The deepest nesting of arrays and dictionaries accepted (a dictionary
// holding an array is nested 2 deep).
inline constexpr std::size_t kPropertyListMaximumNesting = 512;

// The most values a binary property list may expand to, each reference to a
// shared object counted once more: about 200 MB of parsed nodes and values,
// far more than any Info.plist or preferences file holds.
inline constexpr std::uint64_t kPropertyListMaximumValues = std::uint64_t{1} << 20;

// Whether binary property-list bytes ("bplist00") are well formed as far as
// their object references go, reference no object from inside itself, nest
// no deeper than the limit and expand to no more values than the limit.
bool binaryPropertyListIsWithinBounds(const Bytes& data);

}  // namespace platform
