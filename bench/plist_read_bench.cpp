// Reading a property list is linear in its size: an Info.plist of 150,000
// keys (about 3.6 MB) is read in well under a second, and twice the keys
// take about twice the time (a quadratic reader takes four times). The
// binary form is read at least about as fast per item: a list of as many
// keys, and an array of a million items, each within twice the XML row's
// time per key. Python's plistlib reads the same files beside it as the
// reference.
//
//   bench_plist_read [KEYS]
//
// Goal: KEYS keys (default 150000) in under 1 s, and 2 x KEYS in under 3
// times that; each binary row under 2 times the XML row's time per item.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/MeasuredRun.h"
#include "platform/propertylists/PropertyList.h"

namespace {

void appendBigEndian(std::string& out, std::uint64_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    out += static_cast<char>(value >> shift);
}

// A marker with the count it states, the count after it when it is 15 or more.
std::string objectHead(unsigned kind, std::size_t count) {
  if (count < 15) return std::string(1, static_cast<char>(kind | count));
  std::string head = {static_cast<char>(kind | 0x0F), 0x13};
  appendBigEndian(head, count, 8);
  return head;
}

// A binary list of the objects, object 0 on top, 4-byte offsets and references.
std::string binaryList(const std::vector<std::string>& objects) {
  std::string out = "bplist00";
  std::vector<std::uint64_t> offsets;
  for (const auto& object : objects) {
    offsets.push_back(out.size());
    out += object;
  }
  const std::uint64_t table = out.size();
  for (auto offset : offsets) appendBigEndian(out, offset, 4);
  out += std::string(6, '\0') + "\x04\x04";
  appendBigEndian(out, objects.size(), 8);
  appendBigEndian(out, 0, 8);
  appendBigEndian(out, table, 8);
  return out;
}

// The Info.plist below in the binary form: the keys' texts, one shared true.
std::string binaryInfoPlistOfKeys(std::size_t keys) {
  std::vector<std::string> objects = {"", "\x09"};
  std::string top = objectHead(0xD0, keys), values;
  for (std::size_t i = 0; i < keys; ++i) {
    std::string key = "k";
    key += std::to_string(i);
    appendBigEndian(top, objects.size(), 4);
    objects.push_back(objectHead(0x50, key.size()) + key);
    appendBigEndian(values, 1, 4);
  }
  objects[0] = top + values;
  return binaryList(objects);
}

// [0, 1, ..., items - 1], each item an integer object of its own.
std::string binaryArrayOfItems(std::size_t items) {
  std::vector<std::string> objects = {objectHead(0xA0, items)};
  for (std::size_t i = 0; i < items; ++i) {
    appendBigEndian(objects[0], objects.size(), 4);
    std::string item = "\x12";
    appendBigEndian(item, i, 4);
    objects.push_back(item);
  }
  return binaryList(objects);
}

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

// The seconds Python's plistlib takes to read the list from a file.
double peerSeconds(const std::string& list) {
  auto file = std::filesystem::temp_directory_path() / "bench_plist_read.plist";
  std::FILE* out = std::fopen(file.c_str(), "w");
  std::fwrite(list.data(), 1, list.size(), out);
  std::fclose(out);
  auto peer = bench::measure(
      {"/usr/bin/python3", "-c", "import plistlib, sys; plistlib.load(open(sys.argv[1], 'rb'))",
       file.string()},
      nullptr, std::filesystem::temp_directory_path());
  std::filesystem::remove(file);
  return peer.seconds;
}

// One binary row: its time, per item against the XML row's per key. True
// when within the goal.
bool binaryRow(const char* what, const std::string& list, std::size_t items, double xmlPerKey) {
  double seconds = readSeconds(list);
  double ratio = seconds / static_cast<double>(items) / xmlPerKey;
  std::printf("binary, %s (%.1f MB): %.3f s, %.2f x the XML time per item (goal < 2 x)\n", what,
              list.size() / 1e6, seconds, ratio);
  std::printf("python3 plistlib, same file: %.3f s\n", peerSeconds(list));
  return ratio < 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t keys = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 150000;
  std::string text = infoPlistOfKeys(keys);
  double once = readSeconds(text);
  double twice = readSeconds(infoPlistOfKeys(2 * keys));
  std::printf("%zu keys (%.1f MB): %.3f s (goal < 1 s); %zu keys: %.3f s (goal < %.3f s)\n", keys,
              text.size() / 1e6, once, 2 * keys, twice, 3 * once);
  std::printf("python3 plistlib, same file: %.3f s\n", peerSeconds(text));

  const double perKey = once / static_cast<double>(keys);
  const std::size_t items = 1000000;
  bool dictionaryMet = binaryRow((std::to_string(keys) + " keys").c_str(),
                                 binaryInfoPlistOfKeys(keys), keys, perKey);
  bool arrayMet = binaryRow("1,000,000-item array", binaryArrayOfItems(items), items, perKey);
  return once < 1 && twice < 3 * once && dictionaryMet && arrayMet ? 0 : 1;
}
