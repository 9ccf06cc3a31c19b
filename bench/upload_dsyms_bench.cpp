// Uploads the four dSYMs of an .xcarchive with `upload-dsyms --jobs 2`
// against the same work done by hand: `zip -r` and `curl -F` once per
// dSYM, one after the other, against the same stand-in service. Twice: on
// plain loopback, and with the service reading request bodies at 100
// Mbit/s, as over a link of that speed, where compressing the next dSYM
// while the previous one is sent shows. Goals:
//   - on loopback, at most 0.25 times the pairs' time;
//   - at 100 Mbit/s, at most 0.5 times;
//   - peak memory of upload-dsyms (with its archiver) under 64 MB.
//
//   bench_upload_dsyms [FOLDER [ROUNDS [PROGRAM]]]
//
// Lays out in FOLDER (default $TMPDIR or /tmp) an archive of the app, two
// frameworks and an app extension (bench/FourBundleBuild.h: real Mach-O
// files, dSYMs of 150 + 60 + 60 + 30 MB of real debug information). Each
// round runs both once, in alternating order, after a sync; the goals are
// judged on the median of the rounds' ratios (default 3 rounds). PROGRAM
// defaults to the upload-dsyms built beside run.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/FourBundleBuild.h"
#include "bench/MeasuredRun.h"
#include "bench/ServiceStandIn.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

// 100 Mbit/s.
constexpr long long kLinkBytesPerSecond = 12'500'000;

struct Measured {
  double ratio = 0, ours = 0, theirs = 0;  // medians of the rounds
  long peakKiB = 0;                        // upload-dsyms's
  bool ran = false;
};

// ROUNDS of upload-dsyms and the pairs against a service reading at RATE
// bytes per second (0: as fast as it can).
Measured measureLink(const std::string& program, const fs::path& archive, const fs::path& work,
                     long long rate, int rounds) {
  Measured measured;
  std::vector<std::string> options;
  if (rate > 0) options = {"--read-rate", std::to_string(rate)};
  bench::Service service(work / "service-data", options);
  fs::create_directories(work / "tmp");
  const bench::Environment environment = {{"PATH", "/usr/bin:/bin"},
                                          {"HOME", work / "home"},
                                          {"TMPDIR", work / "tmp"},
                                          {"QUORVEX_API_KEY", kKey},
                                          {"QUORVEX_CODE_MAPPING_BASE_URL", service.baseURL()}};
  std::vector<double> ratios, ours, theirs;
  for (int round = 0; round < rounds; ++round) {
    bench::Outcome tool, pairs;
    for (int turn = 0; turn < 2; ++turn) {
      sync();
      if ((round + turn) % 2 == 0)
        tool = bench::measure({program, "--jobs", "2", "--quiet", archive}, &environment, work);
      else
        pairs = bench::zipAndCurlEach(archive / "dSYMs", work / "reference.zip", service, kKey);
    }
    service.forget();
    if (tool.status != 0 || pairs.status != 0) {
      std::fprintf(stderr, "round %d failed: upload-dsyms %d, pairs %d\n", round, tool.status,
                   pairs.status);
      return measured;
    }
    ours.push_back(tool.seconds);
    theirs.push_back(pairs.seconds);
    ratios.push_back(tool.seconds / pairs.seconds);
    measured.peakKiB = std::max(measured.peakKiB, tool.peakKiB);
    std::printf(
        "  round %d: upload-dsyms %.3f s (cpu %.3f s), 4 x (zip + curl) %.3f s, ratio %.3f\n",
        round, tool.seconds, tool.cpuSeconds, pairs.seconds, ratios.back());
  }
  measured.ratio = bench::median(ratios);
  measured.ours = bench::median(ours);
  measured.theirs = bench::median(theirs);
  measured.ran = true;
  return measured;
}

// Prints one link's figures beside its goal; whether the goal was met.
bool report(const char* link, const Measured& measured, double goal) {
  const bool met = measured.ratio <= goal;
  std::printf("  %s: upload-dsyms %.3f s median; 4 x (zip -r + curl -F) %.3f s median\n", link,
              measured.ours, measured.theirs);
  std::printf("  %s: ratio, median of the rounds: %.3f (goal: <= %.2f) %s\n", link, measured.ratio,
              goal, met ? "met" : "NOT met");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string program =
      argc > 3 ? argv[3] : (fs::path(RUN_EXECUTABLE).parent_path() / "upload-dsyms").string();
  if (rounds < 1) {
    std::fprintf(stderr, "usage: bench_upload_dsyms [FOLDER [ROUNDS [PROGRAM]]]\n");
    return 2;
  }
  if (access(program.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "upload-dsyms is not built: %s\n", program.c_str());
    return 1;
  }
  const fs::path work = base / ("upload-dsyms-bench-" + std::to_string(getpid()));
  const fs::path archive = work / "App.xcarchive";
  if (!bench::buildFourBundles(work / "products", work / "objects") ||
      !bench::layOutArchive(work / "products", archive)) {
    std::fprintf(stderr, "the archive could not be laid out\n");
    fs::remove_all(work);
    return 1;
  }
  std::printf("An archive of four dSYMs (150 + 60 + 60 + 30 MB), --jobs 2, %d rounds\n", rounds);
  std::printf("Plain loopback:\n");
  const Measured loopback = measureLink(program, archive, work, 0, rounds);
  std::printf("Service reading at 100 Mbit/s:\n");
  const Measured limited = measureLink(program, archive, work, kLinkBytesPerSecond, rounds);
  fs::remove_all(work);
  if (!loopback.ran || !limited.ran) return 1;
  bool met = report("loopback", loopback, 0.25);
  met = report("100 Mbit/s", limited, 0.5) && met;
  const long peakKiB = std::max(loopback.peakKiB, limited.peakKiB);
  std::printf("  peak memory of upload-dsyms (with its archiver): %.1f MB (goal: < 64 MB) %s\n",
              peakKiB / 1024.0, peakKiB < 64 * 1024 ? "met" : "NOT met");
  return met && peakKiB < 64 * 1024 ? 0 : 1;
}
