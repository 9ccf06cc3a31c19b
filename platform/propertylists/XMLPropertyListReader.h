#pragma once

#include <optional>

#include "platform/Value.h"

namespace platform {

// Reads XML property-list text into a value with a streaming XML reader,
// keeping a stack of its own: linear in the size of the text, and nothing
// (never a crash) for text that is not well-formed XML, for arrays and
// dictionaries nested deeper than kPropertyListMaximumNesting, for a DOCTYPE
// with an internal subset, for an entity reference other than XML's own, for
// an element a property list does not have, for a dictionary entry without
// its key, and for the text of a leaf that Apple's reader refuses (see
// XMLPropertyListLeaves.h).
std::optional<Value> valueFromXMLPropertyList(const Bytes& data);

}  // namespace platform
