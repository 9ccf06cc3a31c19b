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

}  // namespace testsupport
