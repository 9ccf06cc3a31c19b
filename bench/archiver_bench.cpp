// Measures the framework's archiver against `zip -r -y -q` on a dSYM bundle
// of a few hundred megabytes of real debug information. Goals:
//   - the archiver runs at least 2.5 times as fast as zip on two cores;
//   - its archive is no more than 1 % larger than zip's;
//   - its peak memory stays under 64 MB.
//
//   bench_archiver [FOLDER [MEGABYTES [ROUNDS]]]
//
// Makes the bundle in FOLDER (default $TMPDIR or /tmp) with a DWARF file of
// MEGABYTES (default 300) of the DWARF sections of the tool's own objects
// (bench/DebugInfo.h), judged against the goals; then the same with data
// that compresses more evenly (words from a small vocabulary), shown for
// comparison. Each round runs both programs once, in alternating order,
// after a sync; the time goal is judged on the median of the rounds' ratios
// (default 3 rounds). Peak memory is the archiver's largest resident size.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/DebugInfo.h"
#include "bench/DwarfLikeData.h"
#include "bench/MeasuredRun.h"

namespace fs = std::filesystem;

namespace {

using bench::measure;
using bench::Outcome;

// What the rounds on one bundle gave.
struct Figures {
  double speed = 0;      // zip's time over the archiver's, median of the rounds
  double sizeRatio = 0;  // the archive's size over zip's
  double peakMB = 0;     // the archiver's
  bool ran = false;
};

// Both programs on the bundle WORK/App.app.dSYM, ROUNDS times.
Figures measureRounds(const fs::path& work, int rounds) {
  const std::string archiver = std::string(BINARY_ROOT) + "/Brantle.framework/archiver";
  std::vector<double> ratios;
  Figures figures;
  long peakKiB = 0;
  for (int round = 0; round < rounds; ++round) {
    fs::remove(work / "zip.zip");
    fs::remove(work / "ours.zip");
    Outcome zip, ours;
    for (int turn = 0; turn < 2; ++turn) {
      sync();
      if ((round + turn) % 2 == 0)
        zip = measure({"/usr/bin/zip", "-r", "-y", "-q", "zip.zip", "App.app.dSYM"}, nullptr, work);
      else
        ours = measure({archiver, "-c", "-k", "--keepParent", "App.app.dSYM", "ours.zip"}, nullptr,
                       work);
    }
    if (zip.status != 0 || ours.status != 0) {
      std::fprintf(stderr, "a run failed: zip %d, archiver %d\n", zip.status, ours.status);
      return figures;
    }
    ratios.push_back(zip.seconds / ours.seconds);
    figures.sizeRatio = static_cast<double>(fs::file_size(work / "ours.zip")) /
                        static_cast<double>(fs::file_size(work / "zip.zip"));
    peakKiB = std::max(peakKiB, ours.peakKiB);
    std::printf("  round %d: zip %.2f s (cpu %.2f s), archiver %.2f s (cpu %.2f s): %.2fx\n",
                round + 1, zip.seconds, zip.cpuSeconds, ours.seconds, ours.cpuSeconds,
                ratios.back());
  }
  figures.speed = bench::median(ratios);
  figures.peakMB = static_cast<double>(peakKiB) / 1024;
  figures.ran = true;
  return figures;
}

// A bundle whose DWARF file FILL grows by MEGABYTES, measured.
Figures measureBundle(const fs::path& work, size_t megabytes, int rounds,
                      const std::function<void(const fs::path&, size_t)>& fill) {
  const fs::path bundle = work / "App.app.dSYM";
  fs::remove_all(work);
  fs::create_directories(bundle / "Contents/Resources/DWARF");
  bench::growFile(bundle / "Contents/Info.plist", 1);
  fill(bundle / "Contents/Resources/DWARF/App", megabytes);
  Figures figures = measureRounds(work, rounds);
  fs::remove_all(work);
  return figures;
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  fs::path work = base / ("bench-archiver-" + std::to_string(getpid()));

  std::printf("%zu MB of real debug information:\n", megabytes);
  Figures real = measureBundle(work, megabytes, rounds, [](const fs::path& file, size_t size) {
    bench::growWithDebugInfo(file, size);
  });
  std::printf("%zu MB of vocabulary words (for comparison):\n", megabytes);
  Figures words = measureBundle(work, megabytes, rounds, bench::growFile);
  if (!real.ran || !words.ran) return 1;

  std::printf(
      "%zu MB bundle, %u cores, %d rounds (on a busy machine the archiver's threads\n"
      "get less than a core each: compare the cpu times)\n",
      megabytes, std::max(1u, std::thread::hardware_concurrency()), rounds);
  std::printf("                        real debug info   goal         words\n");
  std::printf("speed: x zip's          %8.2fx         >= 2.50x %-7s  %6.2fx\n", real.speed,
              verdict(real.speed >= 2.5), words.speed);
  std::printf("size:  archive / zip's  %8.4f          <= 1.0100 %-7s %6.4f\n", real.sizeRatio,
              verdict(real.sizeRatio <= 1.01), words.sizeRatio);
  std::printf("peak memory: MB         %8.1f          < 64     %-7s  %6.1f\n", real.peakMB,
              verdict(real.peakMB < 64), words.peakMB);
  return real.speed >= 2.5 && real.sizeRatio <= 1.01 && real.peakMB < 64 ? 0 : 1;
}
