#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/Value.h"

namespace platform {

// Parses property-list bytes (XML or binary) into a value; nothing, with the
// parse error in *error when given, for bytes that are no property list or
// pass the limits of PropertyListBounds.h (64 MB, 512 levels of nesting).
// Values are Apple's for the same bytes. XML is read by XMLPropertyListReader,
// binary by BinaryPropertyListReader; either way the nesting limit holds on
// the values as they are built, and reading is linear in the size of the
// bytes.
std::optional<Value> propertyListFromData(const Bytes& data, Error* error = nullptr);

// Reads a property-list file (XML or binary) whose top is a dictionary;
// nothing for a missing, unreadable or malformed file, or another top type.
// Only a regular file is read (a FIFO, a device or a directory counts as
// unreadable, and opening never waits for a writer); a file over the size
// limit counts as unreadable.
std::optional<Value> dictionaryWithContentsOfFile(const std::string& path);

// The value as well-formed XML 1.0 property-list text: characters XML cannot
// carry and bytes that are not UTF-8 are written as U+FFFD (see
// xmlCharacterText), everything else comes back unchanged from any
// conforming reader.
std::string xmlPropertyList(const Value& value);

// Writes the value as an XML property list atomically, readable and writable
// by its owner alone (mode 0600): a temporary file in the same folder, then
// rename. Returns false, leaving the target untouched,
// on any failure.
bool writePropertyListAtomically(const Value& value, const std::string& path);

}  // namespace platform
