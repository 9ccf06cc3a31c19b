// Reading a property list is linear in its size: an Info.plist of 150,000
// keys (about 3.6 MB) is read in well under a second, and twice the keys
// take about twice the time (a quadratic reader takes four times). Python's
// plistlib reads the same file beside it as the reference.
//
//   bench_plist_read [KEYS]
//
// Goal: KEYS keys (default 150000) in under 1 s, and 2 x KEYS in under 3
// times that.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/MeasuredRun.h"
#include "platform/PropertyList.h"

namespace {

std::string infoPlistOfKeys(std::size_t keys) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>CFBundleIdentifier</key><string>com.example.App</string>";
  for (std::size_t i = 0; i < keys; ++i) text += "<key>k" + std::to_string(i) + "</key><true/>";
  return text + "</dict></plist>\n";
}

// The median seconds of reading the text five times.
double readSeconds(const std::string& text) {
  platform::Bytes bytes(text.begin(), text.end());
  std::vector<double> seconds;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    auto value = platform::propertyListFromData(bytes);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!value) std::exit(1);
  }
  return bench::median(seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t keys = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 150000;
  std::string text = infoPlistOfKeys(keys);
  double once = readSeconds(text);
  double twice = readSeconds(infoPlistOfKeys(2 * keys));
  std::printf("%zu keys (%.1f MB): %.3f s (goal < 1 s); %zu keys: %.3f s (goal < %.3f s)\n", keys,
              text.size() / 1e6, once, 2 * keys, twice, 3 * once);

  auto file = std::filesystem::temp_directory_path() / "bench_plist_read.plist";
  std::FILE* out = std::fopen(file.c_str(), "w");
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  auto peer = bench::measure(
      {"/usr/bin/python3", "-c", "import plistlib, sys; plistlib.load(open(sys.argv[1], 'rb'))",
       file.string()},
      nullptr, std::filesystem::temp_directory_path());
  std::filesystem::remove(file);
  std::printf("python3 plistlib, same file: %.3f s\n", peer.seconds);
  return once < 1 && twice < 3 * once ? 0 : 1;
}
