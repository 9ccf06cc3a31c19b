// Opening a Mach-O executable costs the same whatever its size: only the
// headers and load commands are touched, never the sections. Builds fat
// executables (arm64 iOS + x86_64 simulator) with the machine's LLVM, of a
// few hundred MB, of a few MB and of a few KB, then times opening each as a
// QVXMachOBinary and reading its UUIDs, versions and identifier.
//
// Goals: the median times of the largest and the smallest file differ by
// less than the noise (the spread of the batch medians); and one open from a
// cold page cache reads the same bytes of every file. The far-slice file, a
// few MB whose second slice lies past the first 2 MB like the largest
// file's, tells size apart from layout: where touching a page is costly (a
// page fault and a page table per 2 MB region touched, expensive under some
// hypervisors), the time follows the pages touched, not the size.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "macho/QVXMachOBinary.h"

namespace {

namespace fs = std::filesystem;

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// A fat executable whose __TEXT,__const section holds `padding` bytes per slice.
bool buildFatExecutable(const fs::path& folder, const std::string& name, long padding) {
  const fs::path source = folder / (name + ".s");
  std::ofstream(source) << "  .section __TEXT,__const\n  .globl _blob\n_blob:\n  .space " << padding
                        << ", 0x5a\n  .text\n  .globl _main\n_main:\n  ret\n";
  const std::string s = source.string(), base = (folder / name).string();
  return run("clang-14 -target arm64-apple-ios9.0 -c '" + s + "' -o '" + base + "-arm64.o'") &&
         run("clang-14 -target x86_64-apple-ios9.0-simulator -c '" + s + "' -o '" + base +
             "-x86_64.o'") &&
         run("ld64.lld-14 -arch arm64 -platform_version ios 9.0 14.0 -e _main '" + base +
             "-arm64.o' -o '" + base + "-arm64'") &&
         run("ld64.lld-14 -arch x86_64 -platform_version ios-simulator 9.0 14.0 -e _main '" + base +
             "-x86_64.o' -o '" + base + "-x86_64'") &&
         run("llvm-lipo-14 -create '" + base + "-arm64' '" + base + "-x86_64' -output '" + base +
             "'");
}

// One open of the file with everything the tool reads from it, in microseconds.
double timeOneOpen(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  auto binary = QVXMachOBinary::MachOBinaryWithPath(path);
  if (!binary) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return 0;
  }
  std::size_t pairs = 0;
  binary->enumerateUUIDs([&](const std::optional<std::string>&, const std::string&) { ++pairs; });
  for (const auto& slice : binary->slices()) slice->minimumOSVersion();
  binary->instanceIdentifier();
  auto end = std::chrono::steady_clock::now();
  if (pairs != 2) std::fprintf(stderr, "unexpected slice count %zu in %s\n", pairs, path.c_str());
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// How many bytes of the file one open brings into memory, starting with
// none of it cached: the file is dropped from the page cache, opened as a
// binary, and its cached pages are counted. Nothing when the system will
// not say.
std::optional<std::uint64_t> bytesReadByOneOpen(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  const std::uint64_t size = fs::file_size(path);
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  timeOneOpen(path);
  std::optional<std::uint64_t> resident;
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  const long page = sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> pages((size + page - 1) / page);
  if (map != MAP_FAILED && mincore(map, size, pages.data()) == 0) {
    resident = 0;
    for (unsigned char p : pages) *resident += (p & 1) ? page : 0;
  }
  if (map != MAP_FAILED) munmap(map, size);
  close(fd);
  return resident;
}

// One file's times: the median of each batch of rounds.
struct Measurement {
  std::string label;
  std::string path;
  std::vector<double> batchMedians;
  double median() const { return percentile(batchMedians, 0.5); }
  double spread() const { return percentile(batchMedians, 1.0) - percentile(batchMedians, 0.0); }
};

void report(const Measurement& measurement) {
  std::printf("  %-34s %9.1f KB  median open %7.1f us  (batch medians spread %.1f us)\n",
              measurement.label.c_str(), static_cast<double>(fs::file_size(measurement.path)) / 1e3,
              measurement.median(), measurement.spread());
}

// The goal holds when the medians differ by less than the noise: the larger
// of the two files' spreads of batch medians.
void compare(const Measurement& a, const Measurement& b) {
  const double difference = std::abs(a.median() - b.median());
  const double noise = std::max(a.spread(), b.spread());
  std::printf("  %s against %s: difference %.1f us, noise %.1f us: goal %s\n", a.label.c_str(),
              b.label.c_str(), difference, noise, difference < noise ? "met" : "NOT met");
}

}  // namespace

int main() {
  std::random_device random;
  const fs::path folder =
      fs::temp_directory_path() / ("macho-open-bench-" + std::to_string(random()));
  fs::create_directories(folder);
  // The far-slice file is small, but its second slice lies past the first
  // 2 MB, as in the large file: the two touch the same pages and page tables.
  if (!buildFatExecutable(folder, "large", 150L * 1000 * 1000) ||
      !buildFatExecutable(folder, "far", 3L * 1000 * 1000) ||
      !buildFatExecutable(folder, "small", 1)) {
    std::fprintf(stderr, "could not build the executables with LLVM\n");
    fs::remove_all(folder);
    return 1;
  }
  std::vector<Measurement> files = {{"large fat executable", (folder / "large").string(), {}},
                                    {"far-slice fat executable", (folder / "far").string(), {}},
                                    {"small fat executable", (folder / "small").string(), {}}};

  // Interleaved rounds in batches, so that every file sees the same machine
  // state; the spread of the batch medians is the noise.
  const int kBatches = 9, kRoundsPerBatch = 301;
  for (int i = 0; i < 50; ++i)
    for (const auto& file : files) timeOneOpen(file.path);
  for (int batch = 0; batch < kBatches; ++batch) {
    std::vector<std::vector<double>> times(files.size());
    for (int round = 0; round < kRoundsPerBatch; ++round)
      for (std::size_t f = 0; f < files.size(); ++f) times[f].push_back(timeOneOpen(files[f].path));
    for (std::size_t f = 0; f < files.size(); ++f)
      files[f].batchMedians.push_back(percentile(times[f], 0.5));
  }

  std::printf("macho_open: open, UUIDs, versions and identifier; %d batches of %d rounds\n",
              kBatches, kRoundsPerBatch);
  for (const auto& file : files) report(file);
  compare(files[0], files[2]);
  compare(files[0], files[1]);
  std::vector<std::uint64_t> read;
  for (const auto& file : files) {
    auto resident = bytesReadByOneOpen(file.path);
    if (!resident) continue;
    read.push_back(*resident);
    std::printf("  %s: one open from a cold cache read %.1f KB of %.1f KB\n", file.label.c_str(),
                static_cast<double>(*resident) / 1e3,
                static_cast<double>(fs::file_size(file.path)) / 1e3);
  }
  if (read.size() == files.size())
    std::printf("  goal: every file read the same bytes (headers and load commands only): %s\n",
                std::equal(read.begin() + 1, read.end(), read.begin()) ? "met" : "NOT met");
  fs::remove_all(folder);
  return 0;
}
