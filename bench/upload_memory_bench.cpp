// Measures a whole build-server run of the built `run` against the web
// service stand-in, for dSYM bundles of tens of megabytes to gigabytes.
// Goals, for each size:
//   - the peak memory of the tool and of its archiver each stays under
//     64 MB (the zip is streamed from its file, never held in memory);
//   - the whole run (notification, checks, zip, upload) takes no more than
//     0.4 times (stretch: 0.3) `zip -r` followed by `curl -F` of the same
//     zip against the same service.
//
//   bench_upload_memory [FOLDER [MEGABYTES[,MEGABYTES...] [ROUNDS]]]
//
// Lays out the sample app (scripts/build-sample-app.sh) in FOLDER (default
// $TMPDIR or /tmp) and grows its DWARF file to MEGABYTES (default 300) of
// real debug information (bench/DebugInfo.h). Each round runs the tool once
// (below this process, which names itself "xcsbuildd") and the reference
// once, in alternating order, after a sync; the goal is judged on the
// median of the rounds' ratios (default 5 rounds). Peak memory is the
// largest resident size of the tool's process tree (wait4), which includes
// its archiver child; the archiver run alone on the same bundle is shown
// beside it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/DebugInfo.h"
#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Environment = std::map<std::string, std::string>;

extern char** environ;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

using bench::measure;
using bench::Outcome;
using bench::Service;

Outcome runTool(const Environment& settings, const fs::path& project) {
  sync();
  return measure({RUN_EXECUTABLE, kKey}, &settings, project);
}

// The tool's archiver alone, as the tool runs it.
Outcome runArchiver(const fs::path& products) {
  sync();
  const fs::path archiver = fs::path(RUN_EXECUTABLE).parent_path() / "archiver";
  fs::path zip = products / "archiver-only.zip";
  Outcome outcome = measure({archiver, "-c", "-k", "--keepParent", products / "App.app.dSYM", zip},
                            nullptr, products);
  fs::remove(zip);
  return outcome;
}

// zip -r of the bundle, then curl -F of the zip with the tool's form fields.
Outcome runReference(const fs::path& products, const Service& service, Outcome* zipOnly) {
  sync();
  fs::path zip = products / "reference.zip";
  *zipOnly = measure({"/usr/bin/zip", "-r", "-y", "-q", zip, "App.app.dSYM"}, nullptr, products);
  std::vector<std::string> curl = {"/usr/bin/curl",
                                   "-s",
                                   "-f",
                                   "-o",
                                   "/dev/null",
                                   "-H",
                                   "Expect:",
                                   "-H",
                                   "X-Quorvex-API-Key: " + kKey,
                                   "-F",
                                   "project[identifier]=com.example.App",
                                   "-F",
                                   "project[display_version]=42",
                                   "-F",
                                   "project[build_version]=1.0",
                                   "-F",
                                   "code_mapping[build_configuration]=Release",
                                   "-F",
                                   "code_mapping[type]=dsym",
                                   "-F",
                                   "com_quorvex_run_version=149",
                                   "-F",
                                   "code_mapping[file]=@" + zip.string() + ";type=application/zip",
                                   service.baseURL() + "/api/v3/platforms/ios/code_mappings"};
  Outcome upload = measure(curl, nullptr, "");
  fs::remove(zip);
  Outcome total = upload;
  total.seconds += zipOnly->seconds;
  total.cpuSeconds += zipOnly->cpuSeconds;
  total.status = zipOnly->status != 0 ? zipOnly->status : upload.status;
  return total;
}

struct Rounds {
  std::vector<double> tool, reference, ratios, toolCPU, referenceCPU;
  long toolPeak = 0, zipPeak = 0;
};

// The tool and the reference, ROUNDS times in alternating order; false when
// a run failed.
bool measureRounds(const Environment& settings, const fs::path& work, const Service& service,
                   int rounds, Rounds* measured) {
  const fs::path products = settings.at("BUILT_PRODUCTS_DIR");
  for (int round = 0; round < rounds; ++round) {
    Outcome ours, theirs, zipOnly;
    if (round % 2 == 0) {
      ours = runTool(settings, work / "project");
      theirs = runReference(products, service, &zipOnly);
    } else {
      theirs = runReference(products, service, &zipOnly);
      ours = runTool(settings, work / "project");
    }
    service.forget();
    if (ours.status != 0 || theirs.status != 0) {
      std::fprintf(stderr, "round %d failed: tool %d, reference %d\n", round, ours.status,
                   theirs.status);
      return false;
    }
    measured->tool.push_back(ours.seconds);
    measured->reference.push_back(theirs.seconds);
    measured->ratios.push_back(ours.seconds / theirs.seconds);
    measured->toolCPU.push_back(ours.cpuSeconds);
    measured->referenceCPU.push_back(theirs.cpuSeconds);
    measured->toolPeak = std::max(measured->toolPeak, ours.peakKiB);
    measured->zipPeak = std::max(measured->zipPeak, zipOnly.peakKiB);
    std::printf("  round %d: run %.3f s (cpu %.3f s), zip + curl %.3f s (cpu %.3f s), ratio %.3f\n",
                round, ours.seconds, ours.cpuSeconds, theirs.seconds, theirs.cpuSeconds,
                measured->ratios.back());
  }
  return true;
}

// One bundle size: lays out the sample app with a DWARF file of MEGABYTES,
// measures, prints the figures beside the goals; whether both were met.
bool benchmarkSize(const fs::path& base, size_t megabytes, int rounds) {
  fs::path work = base / ("upload-bench-" + std::to_string(getpid()));
  fs::path products = work / "products";
  fs::create_directories(work / "project");
  if (!bench::buildSampleApp(products)) {
    std::fprintf(stderr, "the sample app could not be built\n");
    return false;
  }
  bench::growWithDebugInfo(products / "App.app.dSYM/Contents/Resources/DWARF/App", megabytes);
  auto dsymBytes = fs::file_size(products / "App.app.dSYM/Contents/Resources/DWARF/App");
  std::printf("\nBuild-server run with a dSYM of %.0f MB, %d rounds (file system of %s)\n",
              static_cast<double>(dsymBytes) / (1 << 20), rounds, base.c_str());

  Rounds measured;
  Outcome archiverOnly;
  bool ran = false;
  {
    Service service(work / "service-data");
    ran =
        measureRounds(bench::sampleAppSettings(products, work / "project", work, service.baseURL()),
                      work, service, rounds, &measured);
    archiverOnly = runArchiver(products);
  }
  fs::remove_all(work);
  if (!ran || archiverOnly.status != 0) return false;

  // Each round's two runs share the machine's load of that moment, so the
  // goal is judged on the median of the rounds' ratios.
  double ratio = bench::median(measured.ratios);
  bool memoryMet = measured.toolPeak < 64 * 1024 && archiverOnly.peakKiB < 64 * 1024;
  bool timeMet = ratio <= 0.4;
  std::printf("  peak memory of run (with its archiver):  %.1f MB (goal: < 64 MB) %s\n",
              measured.toolPeak / 1024.0, measured.toolPeak < 64 * 1024 ? "met" : "NOT met");
  std::printf("  peak memory of the archiver alone:       %.1f MB (goal: < 64 MB) %s\n",
              archiverOnly.peakKiB / 1024.0, archiverOnly.peakKiB < 64 * 1024 ? "met" : "NOT met");
  std::printf("  peak memory of zip alone:                %.1f MB\n", measured.zipPeak / 1024.0);
  std::printf("  archiver alone: %.3f s, %.3f s cpu\n", archiverOnly.seconds,
              archiverOnly.cpuSeconds);
  std::printf("  run:        %.3f s median, %.3f s best, %.3f s cpu\n",
              bench::median(measured.tool),
              *std::min_element(measured.tool.begin(), measured.tool.end()),
              bench::median(measured.toolCPU));
  std::printf("  zip + curl: %.3f s median, %.3f s best, %.3f s cpu\n",
              bench::median(measured.reference),
              *std::min_element(measured.reference.begin(), measured.reference.end()),
              bench::median(measured.referenceCPU));
  std::printf(
      "  ratio run / (zip + curl), median of the rounds: %.3f (goal: <= 0.4, stretch 0.3) %s%s\n",
      ratio, timeMet ? "met" : "NOT met", ratio <= 0.3 ? ", stretch met" : "");
  return memoryMet && timeMet;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  std::vector<size_t> sizes;
  for (std::string list = argc > 2 ? argv[2] : "300"; !list.empty();) {
    size_t comma = list.find(',');
    sizes.push_back(std::strtoul(list.substr(0, comma).c_str(), nullptr, 10));
    list = comma == std::string::npos ? "" : list.substr(comma + 1);
  }
  int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  if (rounds < 1 || std::find(sizes.begin(), sizes.end(), 0u) != sizes.end()) {
    std::fprintf(stderr,
                 "usage: bench_upload_memory [FOLDER [MEGABYTES[,MEGABYTES...] [ROUNDS]]]\n");
    return 2;
  }
  // The tool runs in build-server mode below a parent named like the Bots daemon.
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);
  bool met = true;
  for (size_t megabytes : sizes) met = benchmarkSize(base, megabytes, rounds) && met;
  return met ? 0 : 1;
}
