#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

namespace platform {

// A property-list or JSON value: text, number, boolean, bytes (binary),
// list or dictionary. Dictionaries keep the order their keys were added in.
using Value = nlohmann::ordered_json;

using Bytes = std::vector<std::uint8_t>;

// The value as a byte buffer when it holds bytes, else nullptr.
inline const Bytes* bytesOf(const Value& value) {
  return value.is_binary() ? &static_cast<const Bytes&>(value.get_binary()) : nullptr;
}

// The text of a dictionary entry, or nullptr when the key is missing or not a text.
inline const std::string* textForKey(const Value& dictionary, const std::string& key) {
  if (!dictionary.is_object()) return nullptr;
  auto it = dictionary.find(key);
  if (it == dictionary.end() || !it->is_string()) return nullptr;
  return it->get_ptr<const std::string*>();
}

}  // namespace platform
