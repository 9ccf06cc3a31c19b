// Measures the dSYM copy of interactive mode against `cp -a` of the same
// bundles. Goal: the copy costs no more than `cp -a` (ratio <= 1.00).
//
//   bench_dsym_copy [FOLDER [MEGABYTES [ROUNDS]]]
//
// Lays out a products folder in FOLDER (default $TMPDIR or /tmp) with two
// dSYM bundles of MEGABYTES in all (default 300): a large DWARF file, many
// small files and symbolic links. Each round copies the bundles once with
// cacheDSYMsAtPath and once with `cp -a`, in alternating order, into fresh
// folders, each after a sync so that neither pays for the other's
// write-back; the medians of the rounds (default 5) are compared.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/MeasuredRun.h"
#include "handoff/BuildCache.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

// Writes `bytes` bytes of pseudo-random data, which no file system compresses.
void writeNoise(const fs::path& path, size_t bytes, std::uint64_t seed) {
  std::vector<std::uint64_t> block(1 << 17);
  std::ofstream out(path, std::ios::binary);
  std::uint64_t state = seed | 1;
  while (bytes > 0) {
    for (auto& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    size_t chunk = std::min(bytes, block.size() * sizeof(std::uint64_t));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(chunk));
    bytes -= chunk;
  }
}

// One bundle as dsymutil lays it out, plus small files and links.
void makeBundle(const fs::path& bundle, size_t megabytes, std::uint64_t seed) {
  fs::create_directories(bundle / "Contents/Resources/DWARF");
  std::ofstream(bundle / "Contents/Info.plist") << "<?xml version=\"1.0\"?><plist/>\n";
  writeNoise(bundle / "Contents/Resources/DWARF/App", (megabytes - 8) << 20, seed);
  fs::create_directories(bundle / "Contents/Resources/Relocations/aarch64");
  for (int i = 0; i < 256; ++i) {
    auto name = bundle / ("Contents/Resources/Relocations/aarch64/part" + std::to_string(i));
    writeNoise(name, 32 << 10, seed + static_cast<std::uint64_t>(i) + 1);
  }
  fs::create_directory_symlink("Resources", bundle / "Contents/Current");
  fs::create_symlink("DWARF/App", bundle / "Contents/Resources/Latest");
}

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double timeOurCopy(const fs::path& products, const fs::path& destination) {
  fs::create_directories(destination);
  sync();
  auto start = Clock::now();
  auto copies = cacheDSYMsAtPath(products, destination);
  double elapsed = seconds(Clock::now() - start);
  if (copies.size() != 2) {
    std::fprintf(stderr, "expected 2 copies, got %zu\n", copies.size());
    std::exit(1);
  }
  return elapsed;
}

double timeCp(const fs::path& products, const fs::path& destination) {
  fs::create_directories(destination);
  std::vector<std::string> arguments = {"cp", "-a"};
  for (const auto& entry : fs::directory_iterator(products))
    if (entry.path().extension() == ".dSYM") arguments.push_back(entry.path());
  arguments.push_back(destination.string() + "/");
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  sync();
  auto start = Clock::now();
  pid_t pid = -1;
  int status = 0;
  if (posix_spawn(&pid, "/bin/cp", nullptr, nullptr, argv.data(), environ) != 0 ||
      waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "cp -a failed\n");
    std::exit(1);
  }
  return seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  if (megabytes < 20 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_dsym_copy [FOLDER [MEGABYTES>=20 [ROUNDS>=1]]]\n");
    return 2;
  }
  fs::path work = base / ("dsym-copy-bench-" + std::to_string(getpid()));
  fs::path products = work / "products";
  makeBundle(products / "App.app.dSYM", megabytes * 3 / 4, 1);
  makeBundle(products / "Widget.appex.dSYM", megabytes - megabytes * 3 / 4, 2);

  std::vector<double> ours, cp;
  for (int round = 0; round < rounds; ++round) {
    fs::path ourDestination = work / ("ours" + std::to_string(round));
    fs::path cpDestination = work / ("cp" + std::to_string(round));
    if (round % 2 == 0) {
      ours.push_back(timeOurCopy(products, ourDestination));
      cp.push_back(timeCp(products, cpDestination));
    } else {
      cp.push_back(timeCp(products, cpDestination));
      ours.push_back(timeOurCopy(products, ourDestination));
    }
    fs::remove_all(ourDestination);
    fs::remove_all(cpDestination);
  }
  fs::remove_all(work);

  if (std::getenv("BENCH_VERBOSE"))
    for (int i = 0; i < rounds; ++i)
      std::printf("  round %d: %.3f s / %.3f s\n", i, ours[i], cp[i]);
  double ratio = bench::median(ours) / bench::median(cp);
  std::printf("dSYM copy of %zu MB in 2 bundles, median of %d rounds (file system of %s)\n",
              megabytes, rounds, base.c_str());
  std::printf("  cacheDSYMsAtPath: %.3f s\n  cp -a:            %.3f s\n", bench::median(ours),
              bench::median(cp));
  std::printf("  ratio: %.2f (goal: <= 1.00) %s\n", ratio, ratio <= 1.0 ? "met" : "NOT met");
  return ratio <= 1.0 ? 0 : 1;
}
