#pragma once

#include <compare>
#include <string>

// One slice of a Mach-O file as the tool names it everywhere, from the
// reader to the upload's form: its UUID string (32 lowercase hexadecimal
// digits) and its architecture name.
struct UUIDArchitecturePair {
  std::string uuid;
  std::string architecture;
  auto operator<=>(const UUIDArchitecturePair&) const = default;
};
