#pragma once

// Data that compresses about as well as debug information, for the
// benchmarks that zip large dSYM bundles.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace bench {

// Appends MEGABYTES of data that compresses about as well as debug
// information: words drawn from a small vocabulary, with noise in between.
inline void growFile(const std::filesystem::path& path, size_t megabytes) {
  std::vector<std::uint64_t> vocabulary(512);
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (auto& word : vocabulary) word = next();
  std::vector<std::uint64_t> block(1 << 17);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  for (size_t written = 0; written < (megabytes << 20);) {
    for (auto& word : block) {
      std::uint64_t pick = next();
      word = pick % 4 == 0 ? pick : vocabulary[pick % vocabulary.size()];
    }
    size_t bytes = block.size() * sizeof(std::uint64_t);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
    written += bytes;
  }
}

}  // namespace bench
