#pragma once

// Real debug information for the benchmarks' large dSYMs: the DWARF
// sections of the tool's own objects, gathered at build time into
// DEBUG_INFO_FILE (bench/CMakeLists.txt, bench/collect-debug-info.sh).
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace bench {

// Appends MEGABYTES of real debug information to PATH. The gathered
// sections (tens of megabytes) are repeated whole, so every repeat is far
// longer than deflate's 32 KiB window and compresses as the sections do.
// Starts SKIP megabytes into them, so that files made one after the other
// need not begin alike. Exits with a message when the sections are missing.
inline void growWithDebugInfo(const std::filesystem::path& path, size_t megabytes,
                              size_t skip = 0) {
  std::ifstream in(DEBUG_INFO_FILE, std::ios::binary);
  std::error_code error;
  const auto available = std::filesystem::file_size(DEBUG_INFO_FILE, error);
  if (!in || error || available == 0) {
    std::fprintf(stderr, "cannot read the debug information %s (build bench_debug_info)\n",
                 DEBUG_INFO_FILE);
    std::exit(1);
  }
  in.seekg(static_cast<std::streamoff>((skip << 20) % available));
  std::ofstream out(path, std::ios::binary | std::ios::app);
  std::vector<char> block(1 << 20);
  for (size_t left = megabytes << 20; left > 0;) {
    in.read(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
    const auto got = static_cast<size_t>(in.gcount());
    if (got == 0) {
      in.clear();
      in.seekg(0);
      continue;
    }
    out.write(block.data(), static_cast<std::streamsize>(got));
    left -= got;
  }
  if (!out.flush()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace bench
