#pragma once

#include <string>
#include <string_view>

namespace standin {

// The name as text a JSON record can hold: well-formed UTF-8 sequences as
// they are, every other byte as "\xNN" (two upper-case hexadecimal digits).
std::string escapedName(std::string_view name);

}  // namespace standin
