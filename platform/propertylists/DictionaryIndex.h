#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "platform/Value.h"

namespace platform {

// Fills a dictionary value in the order its keys come, through an index of
// the keys, so that adding an entry never searches the entries (the value's
// own insert does, which makes filling a large dictionary quadratic). A key
// given again keeps its first place and takes the later value.
class DictionaryIndex {
 public:
  void set(Value& dictionary, const std::string& key, Value value) {
    auto& entries = dictionary.get_ref<Value::object_t&>();
    auto [at, fresh] = positions_.try_emplace(key, entries.size());
    if (fresh)
      entries.emplace_back(key, std::move(value));
    else
      (entries.begin() + static_cast<std::ptrdiff_t>(at->second))->second = std::move(value);
  }

 private:
  std::unordered_map<std::string, std::size_t> positions_;
};

}  // namespace platform
