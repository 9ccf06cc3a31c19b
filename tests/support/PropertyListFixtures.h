#pragma once

// Property lists no editor writes, byte by byte: nesting far past what a
// parser's stack takes, and binary lists whose shared objects expand to
// billions of values.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using PropertyListBytes = std::vector<std::uint8_t>;

// XML: {"CFBundleIdentifier": identifier, "a": [[...["x"]...]]} nested
// `levels` deep, the dictionary counted.
std::string nestedXMLPropertyList(std::size_t levels,
                                  const std::string& identifier = "com.example.deep");

// Binary (bplist00, 4-byte references) of the same shape, without the
// identifier: {"a": [[...["x"]...]]}.
PropertyListBytes nestedBinaryPropertyList(std::size_t levels);

// Binary {"a": A0} where A(i) = [A(i+1), A(i+1)] for `levels` arrays: 2^levels
// values from a few bytes per level.
PropertyListBytes doublingBinaryPropertyList(std::size_t levels);

// The objects of a binary property list, object 0 on top, each array or
// dictionary referring to others by index.
PropertyListBytes binaryPropertyList(const std::vector<PropertyListBytes>& objects);
PropertyListBytes binaryArrayObject(const std::vector<std::uint32_t>& references);
PropertyListBytes binaryDictionaryObject(std::uint32_t key, std::uint32_t value);
PropertyListBytes binaryASCIIObject(const std::string& text);

// Any other object: its marker byte, then its contents as given.
PropertyListBytes binaryObject(std::uint8_t marker, const PropertyListBytes& contents);
// An integer object of `width` (1, 2, 4, 8 or 16) bytes holding `value` in
// its last 8 (or fewer) bytes.
PropertyListBytes binaryIntegerObject(std::uint64_t value, unsigned width);
// A date object: seconds since 2001-01-01 as a big-endian float64.
PropertyListBytes binaryDateObject(double seconds);
// A dictionary object of any size: its keys' references, then its values'.
PropertyListBytes binaryDictionaryObject(const std::vector<std::uint32_t>& keys,
                                         const std::vector<std::uint32_t>& values);

}  // namespace testsupport
