// Measures the framework's archiver against `zip -r -y -q` on a dSYM bundle
// of a few hundred megabytes. Goals:
//   - the archiver takes at most a third of zip's time;
//   - its archive is no more than 1 % larger than zip's;
//   - its peak memory stays under 64 MB.
//
//   bench_archiver [FOLDER [MEGABYTES [ROUNDS]]]
//
// Makes the bundle in FOLDER (default $TMPDIR or /tmp) with a DWARF file of
// MEGABYTES (default 300) of data that compresses like debug information.
// Each round runs both programs once, in alternating order, after a sync;
// the time goal is judged on the median of the rounds' ratios (default 3
// rounds). Peak memory is the archiver's largest resident size (wait4).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/DwarfLikeData.h"
#include "bench/MeasuredRun.h"

namespace fs = std::filesystem;

namespace {

using bench::measure;
using bench::Outcome;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  fs::path work = base / ("bench-archiver-" + std::to_string(getpid()));
  fs::path bundle = work / "App.app.dSYM";
  fs::create_directories(bundle / "Contents/Resources/DWARF");
  bench::growFile(bundle / "Contents/Info.plist", 1);
  bench::growFile(bundle / "Contents/Resources/DWARF/App", megabytes);
  std::string archiver = std::string(BINARY_ROOT) + "/Brantle.framework/archiver";
  std::vector<double> ratios;
  double sizeRatio = 0;
  long peakKiB = 0;
  for (int round = 0; round < rounds; ++round) {
    fs::remove(work / "zip.zip");
    fs::remove(work / "ours.zip");
    Outcome zip, ours;
    auto runZip = [&] {
      sync();
      zip = measure({"/usr/bin/zip", "-r", "-y", "-q", "zip.zip", "App.app.dSYM"}, nullptr, work);
    };
    auto runOurs = [&] {
      sync();
      ours = measure({archiver, "-c", "-k", "--keepParent", "App.app.dSYM", "ours.zip"}, nullptr,
                     work);
    };
    if (round % 2 == 0) {
      runZip();
      runOurs();
    } else {
      runOurs();
      runZip();
    }
    if (zip.status != 0 || ours.status != 0) {
      std::fprintf(stderr, "a run failed: zip %d, archiver %d\n", zip.status, ours.status);
      fs::remove_all(work);
      return 1;
    }
    ratios.push_back(zip.seconds / ours.seconds);
    sizeRatio = static_cast<double>(fs::file_size(work / "ours.zip")) /
                static_cast<double>(fs::file_size(work / "zip.zip"));
    peakKiB = std::max(peakKiB, ours.peakKiB);
    std::printf("round %d: zip %.2f s (cpu %.2f s), archiver %.2f s (cpu %.2f s): %.2fx\n",
                round + 1, zip.seconds, zip.cpuSeconds, ours.seconds, ours.cpuSeconds,
                ratios.back());
  }
  fs::remove_all(work);
  double speed = median(ratios);
  double peakMB = static_cast<double>(peakKiB) / 1024;
  std::printf(
      "%zu MB bundle, %u cores, %d rounds (on a busy machine the archiver's threads\n"
      "get less than a core each: compare the cpu times)\n",
      megabytes, std::max(1u, std::thread::hardware_concurrency()), rounds);
  std::printf("speed: archiver %.2fx as fast as zip   goal >= 3.00x   %s\n", speed,
              speed >= 3 ? "met" : "NOT met");
  std::printf("size:  archive / zip's %.4f             goal <= 1.0100  %s\n", sizeRatio,
              sizeRatio <= 1.01 ? "met" : "NOT met");
  std::printf("peak memory: %.1f MB                  goal < 64 MB    %s\n", peakMB,
              peakMB < 64 ? "met" : "NOT met");
  return speed >= 3 && sizeRatio <= 1.01 && peakMB < 64 ? 0 : 1;
}
