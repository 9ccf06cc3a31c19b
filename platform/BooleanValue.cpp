#include "platform/BooleanValue.h"

#include <cctype>

namespace platform {

bool isBooleanTrue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i >= text.size()) return false;
  char first = text[i];
  return first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
         (first >= '1' && first <= '9');
}

bool isBooleanTrue(const Value& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number_integer()) return value.get<std::int64_t>() != 0;
  if (value.is_number_float()) return value.get<double>() != 0.0;
  if (value.is_string())
    return isBooleanTrue(std::string_view(value.get_ref<const std::string&>()));
  return false;
}

}  // namespace platform
