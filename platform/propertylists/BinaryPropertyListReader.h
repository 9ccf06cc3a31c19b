#pragma once

#include <optional>

#include "platform/Value.h"

namespace platform {

// Reads binary property-list bytes into a value with a reader of our own,
// as Apple's reader reads them (see BinaryPropertyListObjects.h), in time
// linear in the values read. Nothing, never a crash, for bytes over the size
// limit or outside the bounds of binaryPropertyListIsWithinBounds, for any
// object Apple's reader refuses, and for a dictionary key that is no text.
std::optional<Value> valueFromBinaryPropertyList(const Bytes& data);

}  // namespace platform
