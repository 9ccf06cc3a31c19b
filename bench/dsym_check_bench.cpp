// The check that the dSYM describes the executable costs no measurable time:
// it reads the headers and load commands of the dSYM's DWARF file, never its
// sections, so a 300 MB dSYM costs what a small one does.
//
//   bench_dsym_check [FOLDER [MEGABYTES [ROUNDS]]]
//
// Lays out the sample app (scripts/build-sample-app.sh) in FOLDER and grows
// its DWARF file to MEGABYTES (default 300) after its load commands, so that
// it still matches the executable. Times the check alone in this process,
// then whole build-server runs against the stand-in service with the check
// (the executable present) and without it (no executable to compare), in
// alternating order. Goal: the check alone takes under 1 ms and under 0.1 %
// of the whole run.
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/DebugInfo.h"
#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"
#include "driver/DSYMCheck.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

// Microseconds of one check, median of many.
double checkMicroseconds(const bench::Environment& settings) {
  auto executable = QVXMachOBinary::MachOBinaryWithPath(
      fs::path(settings.at("BUILT_PRODUCTS_DIR")) / settings.at("EXECUTABLE_PATH"));
  if (!executable) {
    std::fprintf(stderr, "the sample executable does not open\n");
    std::exit(1);
  }
  std::vector<double> times;
  for (int i = 0; i < 200; ++i) {
    auto start = std::chrono::steady_clock::now();
    checkDSYMMatchesExecutable(settings, executable);
    times.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  return bench::median(times);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  const fs::path work = base / ("dsym-check-bench-" + std::to_string(getpid()));
  const fs::path products = work / "products";
  fs::create_directories(work / "project");
  if (!bench::buildSampleApp(products)) {
    std::fprintf(stderr, "the sample app could not be built\n");
    return 1;
  }
  bench::growWithDebugInfo(products / "App.app.dSYM/Contents/Resources/DWARF/App", megabytes);
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);

  std::vector<double> with, without;
  double check = 0;
  {
    bench::Service service(work / "service-data");
    bench::Environment settings =
        bench::sampleAppSettings(products, work / "project", work, service.baseURL());
    check = checkMicroseconds(settings);
    bench::Environment unchecked = settings;
    unchecked["EXECUTABLE_PATH"] = "App.app/Absent";
    for (int round = 0; round < rounds; ++round) {
      for (int turn = 0; turn < 2; ++turn) {
        const bool checked = (round + turn) % 2 == 0;
        sync();
        auto outcome = bench::measure({RUN_EXECUTABLE, kKey}, checked ? &settings : &unchecked,
                                      work / "project");
        if (outcome.status != 0) {
          std::fprintf(stderr, "round %d: run failed with %d\n", round, outcome.status);
          return 1;
        }
        (checked ? with : without).push_back(outcome.seconds);
      }
      service.forget();
    }
  }
  fs::remove_all(work);
  const double run = bench::median(with);
  const bool met = check < 1000 && check / 1e6 < run * 0.001;
  std::printf("dSYM check, DWARF file of %zu MB, %d rounds\n", megabytes, rounds);
  std::printf("  check alone: %.1f us median of 200\n", check);
  std::printf("  run with the check: %.3f s median; without it: %.3f s median; difference %.3f s\n",
              run, bench::median(without), run - bench::median(without));
  std::printf("  check / run: %.5f %% (goal: under 1 ms and under 0.1 %% of the run) %s\n",
              100.0 * check / 1e6 / run, met ? "met" : "NOT met");
  return met ? 0 : 1;
}
