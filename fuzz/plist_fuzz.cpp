// libFuzzer target over the property-list reader: the streaming XML reader,
// and for binary input the shape check on the bytes and the reader of the
// objects. Every input must give a value or nothing; the
// sanitizers report any read outside the input, and a stack overflow or a
// memory blow-up shows as a crash or an out-of-memory report.

#include <cstddef>
#include <cstdint>

#include "platform/propertylists/PropertyList.h"
#include "platform/propertylists/PropertyListBounds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::Bytes bytes(data, data + size);
  platform::Error error;
  auto value = platform::propertyListFromData(bytes, &error);
  if (value) (void)platform::xmlPropertyList(*value);
  (void)platform::binaryPropertyListIsWithinBounds(bytes);
  return 0;
}
