// Uploads through a link that the kernel holds to 100 Mbit/s, against the
// time that link takes for the same bytes. Rows, each judged on the median
// of its rounds' ratios:
//   - `upload-dsyms --jobs 2` of an archive's four dSYMs (150 + 60 + 60 +
//     30 MB of real debug information, bench/FourBundleBuild.h) against one
//     curl of as many bytes as its requests' bodies: at most 1.05 times;
//     and against 4 x (zip -r + curl -F): at most 0.41 times;
//   - `run` in build-server mode with one dSYM of 300 MB against one curl
//     of as many bytes as its requests' bodies: at most 1.1 times.
//
//   bench_shaped_link [FOLDER [ROUNDS]]
//
// As root, with unshare, ip and tc at hand, it runs itself again through
// bench/shaped-link.sh: in namespaces of their own, whose loopback a token
// bucket holds to 100 Mbit/s, the stand-in service and every program of
// the rows run together, so that all their traffic crosses that link. Its
// files go to a folder in FOLDER (default $TMPDIR or /tmp) that goes with
// the namespaces when the run ends or is stopped. Elsewhere it prints that
// its rows are skipped. Each curl sends a file made of the zips the service
// stored of the upload just before it, padded to the bodies' length.
// Default 3 rounds.
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/DebugInfo.h"
#include "bench/FourBundleBuild.h"
#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";
const char* const kRate = "100mbit";
const char* const kInside = "--on-shaped-link";

// Whether PROGRAM is in PATH or in a system folder of root's.
bool installed(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(std::string(path ? path : "") + ":/usr/sbin:/sbin");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

// One curl of a file as long as the bodies of the requests the service
// read since it last forgot: the zips it stored, padded with zeros.
struct Sent {
  bench::Outcome outcome;
  std::uint64_t bytes = 0;
};
Sent curlSameBytes(const bench::Service& service, const fs::path& file) {
  Sent sent;
  sent.bytes = service.bodyBytes();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const auto& zip : service.storedZips())
      out << std::ifstream(zip, std::ios::binary).rdbuf();
  }
  fs::resize_file(file, sent.bytes);
  service.forget();
  sync();
  sent.outcome = bench::measure({"/usr/bin/curl", "-s", "-f", "-o", "/dev/null", "-H",
                                 "Expect:", "-H", "X-Quorvex-API-Key: " + kKey, "-T", file, "-X",
                                 "POST", service.baseURL() + "/api/v3/platforms/ios/code_mappings"},
                                nullptr, "");
  service.forget();
  fs::remove(file);
  return sent;
}

double megabits(const Sent& sent) {
  return static_cast<double>(sent.bytes) * 8 / 1e6 / sent.outcome.seconds;
}

// Prints a ratio beside its goal; whether it was met.
bool report(const char* what, const std::vector<double>& ratios, double goal) {
  const double ratio = bench::median(ratios);
  std::printf("  %s, median of the rounds: %.3f (goal: <= %.2f) %s\n", what, ratio, goal,
              ratio <= goal ? "met" : "NOT met");
  return ratio <= goal;
}

// upload-dsyms --jobs 2 of the archive, one curl of its bytes, and the
// pairs, ROUNDS times (the pairs first in odd rounds); whether both goals
// were met.
bool uploadDSYMsRow(const fs::path& work, const fs::path& archive, const bench::Service& service,
                    int rounds) {
  const std::string program = (fs::path(RUN_EXECUTABLE).parent_path() / "upload-dsyms").string();
  const bench::Environment environment = {{"PATH", "/usr/bin:/bin"},
                                          {"HOME", work / "home"},
                                          {"TMPDIR", work / "tmp"},
                                          {"QUORVEX_API_KEY", kKey},
                                          {"QUORVEX_CODE_MAPPING_BASE_URL", service.baseURL()}};
  std::printf("upload-dsyms --jobs 2, an archive of four dSYMs (150 + 60 + 60 + 30 MB):\n");
  std::vector<double> againstLink, againstPairs, linkAgainstPairs;
  for (int round = 0; round < rounds; ++round) {
    bench::Outcome pairs;
    auto byHand = [&] {
      sync();
      pairs = bench::zipAndCurlEach(archive / "dSYMs", work / "reference.zip", service, kKey);
      service.forget();
    };
    if (round % 2 == 1) byHand();
    sync();
    const bench::Outcome tool =
        bench::measure({program, "--jobs", "2", "--quiet", archive}, &environment, work);
    const Sent curl = curlSameBytes(service, work / "same-bytes");
    if (round % 2 == 0) byHand();
    if (tool.status != 0 || curl.outcome.status != 0 || pairs.status != 0) {
      std::fprintf(stderr, "round %d failed: upload-dsyms %d, curl %d, pairs %d\n", round,
                   tool.status, curl.outcome.status, pairs.status);
      return false;
    }
    againstLink.push_back(tool.seconds / curl.outcome.seconds);
    againstPairs.push_back(tool.seconds / pairs.seconds);
    linkAgainstPairs.push_back(curl.outcome.seconds / pairs.seconds);
    std::printf(
        "  round %d: upload-dsyms %.3f s; curl of its %.1f MB %.3f s (%.1f Mbit/s); "
        "4 x (zip + curl) %.3f s\n",
        round, tool.seconds, static_cast<double>(curl.bytes) / 1e6, curl.outcome.seconds,
        megabits(curl), pairs.seconds);
  }
  bool met = report("upload-dsyms / curl of the same bytes", againstLink, 1.05);
  // The least any tool can reach against the pairs: the link's own time.
  std::printf("  the link alone (curl) / 4 x (zip -r + curl -F), median: %.3f\n",
              bench::median(linkAgainstPairs));
  return report("upload-dsyms / 4 x (zip -r + curl -F)", againstPairs, 0.41) && met;
}

// run in build-server mode and one curl of its bytes, ROUNDS times;
// whether the goal was met.
bool runRow(const fs::path& work, const fs::path& products, const bench::Service& service,
            int rounds) {
  bench::Environment settings =
      bench::sampleAppSettings(products, work / "project", work, service.baseURL());
  settings["TMPDIR"] = work / "tmp";
  std::printf("run in build-server mode, one dSYM of 300 MB:\n");
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    sync();
    const bench::Outcome tool = bench::measure({RUN_EXECUTABLE, kKey}, &settings, work / "project");
    const Sent curl = curlSameBytes(service, work / "same-bytes");
    if (tool.status != 0 || curl.outcome.status != 0) {
      std::fprintf(stderr, "round %d failed: run %d, curl %d\n", round, tool.status,
                   curl.outcome.status);
      return false;
    }
    ratios.push_back(tool.seconds / curl.outcome.seconds);
    std::printf("  round %d: run %.3f s; curl of its %.1f MB %.3f s (%.1f Mbit/s)\n", round,
                tool.seconds, static_cast<double>(curl.bytes) / 1e6, curl.outcome.seconds,
                megabits(curl));
  }
  return report("run / curl of the same bytes", ratios, 1.1);
}

// The rows, inside the shaped link's namespaces, with their files in WORK.
int onShapedLink(const fs::path& work, int rounds) {
  const fs::path archive = work / "App.xcarchive";
  const fs::path products = work / "products";
  fs::create_directories(work / "tmp");
  fs::create_directories(work / "project");
  if (!bench::buildFourBundles(work / "bundles", work / "objects") ||
      !bench::layOutArchive(work / "bundles", archive) || !bench::buildSampleApp(products)) {
    std::fprintf(stderr, "the products could not be built\n");
    return 1;
  }
  bench::growWithDebugInfo(products / "App.app.dSYM/Contents/Resources/DWARF/App", 300);
  // run works in build-server mode below a parent named like the Bots daemon.
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);
  std::printf(
      "Through a loopback held to 100 Mbit/s (tc tbf) in namespaces of its own, %d rounds\n",
      rounds);
  bench::Service service(work / "service-data");
  bool met = uploadDSYMsRow(work, archive, service, rounds);
  met = runRow(work, products, service, rounds) && met;
  return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == kInside)
    return onShapedLink(argv[2], std::atoi(argv[3]));
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: bench_shaped_link [FOLDER [ROUNDS]]\n");
    return 2;
  }
  if (geteuid() != 0 || !installed("unshare") || !installed("ip") || !installed("tc")) {
    std::printf("Shaped link (100 Mbit/s): needs root, unshare, ip and tc\n");
    std::printf("  upload-dsyms / curl of the same bytes: skipped\n");
    std::printf("  upload-dsyms / 4 x (zip -r + curl -F): skipped\n");
    std::printf("  run / curl of the same bytes: skipped\n");
    return 0;
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string work = (base / ("shaped-link-bench-" + std::to_string(getpid()))).string();
  const std::string script = std::string(SOURCE_ROOT) + "/bench/shaped-link.sh";
  const std::string count = std::to_string(rounds);
  std::fflush(stdout);
  execl("/bin/bash", "bash", script.c_str(), kRate, work.c_str(), self.c_str(), kInside,
        work.c_str(), count.c_str(), static_cast<char*>(nullptr));
  std::perror("bench/shaped-link.sh");
  return 1;
}
