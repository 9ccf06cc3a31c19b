// Measures a whole build-server run of the built `run` against the web
// service stand-in, for a dSYM bundle of a few hundred megabytes. Goals:
//   - the tool's peak memory stays under 64 MB (the zip is streamed from its
//     file, never held in memory);
//   - the whole run (notification, checks, zip, upload) takes no more than
//     1.05 times `zip -r` followed by `curl -F` of the same zip against the
//     same service.
//
//   bench_upload_memory [FOLDER [MEGABYTES [ROUNDS]]]
//
// Lays out the sample app (scripts/build-sample-app.sh) in FOLDER (default
// $TMPDIR or /tmp) and grows its DWARF file to MEGABYTES (default 300) of
// partly compressible data. Each round runs the tool once (below this
// process, which names itself "xcsbuildd") and the reference once, in
// alternating order, after a sync; the goal is judged on the median of the
// rounds' ratios (default 5 rounds). Peak memory is the largest resident
// size of the tool's process tree (wait4), which includes its zip child; the
// zip alone is shown beside it.
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

#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::Environment;
using bench::measure;
using bench::Outcome;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

// Appends MEGABYTES of data that compresses about as well as debug
// information: words drawn from a small vocabulary, with noise in between.
void growFile(const fs::path& path, size_t megabytes) {
  std::vector<std::uint64_t> vocabulary(512);
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (auto& word : vocabulary) word = next();
  std::vector<std::uint64_t> block(1 << 17);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  for (size_t written = 0; written < (megabytes << 20);) {
    for (auto& word : block) {
      std::uint64_t pick = next();
      word = pick % 4 == 0 ? pick : vocabulary[pick % vocabulary.size()];
    }
    size_t bytes = block.size() * sizeof(std::uint64_t);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
    written += bytes;
  }
}

// The stand-in service, started lenient (so that curl's form, which differs
// from the tool's in its details, is stored and answered 201 as well).
struct Service {
  pid_t pid = -1;
  int port = 0;
  fs::path data;

  explicit Service(const fs::path& dataFolder) : data(dataFolder) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    std::string program = std::string(BINARY_ROOT) + "/stand-ins/service/quorvex-service";
    std::vector<std::string> texts = {program, "--lenient", "--port", "0", "--data", data};
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      std::fprintf(stderr, "cannot start %s\n", program.c_str());
      std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port = std::atoi(line.c_str() + 5);
  }
  ~Service() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port); }
  // Removes what the service stored, so rounds do not fill the disk.
  void forget() const {
    for (const auto& entry : fs::directory_iterator(data)) fs::remove(entry.path());
  }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

Outcome runTool(const Environment& settings, const fs::path& project) {
  sync();
  return measure({RUN_EXECUTABLE, kKey}, &settings, project);
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

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  if (megabytes < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_upload_memory [FOLDER [MEGABYTES [ROUNDS]]]\n");
    return 2;
  }
  fs::path work = base / ("upload-bench-" + std::to_string(getpid()));
  fs::path products = work / "products";
  fs::path project = work / "project";
  fs::create_directories(project);
  Environment path = {{"PATH", "/usr/bin:/bin"}};
  if (measure({"/bin/sh", std::string(SOURCE_ROOT) + "/scripts/build-sample-app.sh", products},
              &path, "")
          .status != 0) {
    std::fprintf(stderr, "the sample app could not be built\n");
    return 1;
  }
  growFile(products / "App.app.dSYM/Contents/Resources/DWARF/App", megabytes);

  Service service(work / "service-data");
  Environment settings = bench::sampleAppSettings(products, project, work, service.baseURL());
  // The tool runs in build-server mode below a parent named like the Bots daemon.
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);

  std::vector<double> tool, reference, ratios, toolCPU, referenceCPU;
  long toolPeak = 0, zipPeak = 0;
  for (int round = 0; round < rounds; ++round) {
    Outcome ours, theirs, zipOnly;
    if (round % 2 == 0) {
      ours = runTool(settings, project);
      theirs = runReference(products, service, &zipOnly);
    } else {
      theirs = runReference(products, service, &zipOnly);
      ours = runTool(settings, project);
    }
    service.forget();
    if (ours.status != 0 || theirs.status != 0) {
      std::fprintf(stderr, "round %d failed: tool %d, reference %d\n", round, ours.status,
                   theirs.status);
      return 1;
    }
    tool.push_back(ours.seconds);
    reference.push_back(theirs.seconds);
    ratios.push_back(ours.seconds / theirs.seconds);
    toolCPU.push_back(ours.cpuSeconds);
    referenceCPU.push_back(theirs.cpuSeconds);
    toolPeak = std::max(toolPeak, ours.peakKiB);
    zipPeak = std::max(zipPeak, zipOnly.peakKiB);
    std::printf("  round %d: run %.3f s (cpu %.3f s), zip + curl %.3f s (cpu %.3f s), ratio %.3f\n",
                round, ours.seconds, ours.cpuSeconds, theirs.seconds, theirs.cpuSeconds,
                ratios.back());
  }
  auto dsymBytes = fs::file_size(products / "App.app.dSYM/Contents/Resources/DWARF/App");
  fs::remove_all(work);

  // Each round's two runs share the machine's load of that moment, so the
  // goal is judged on the median of the rounds' ratios.
  double ratio = median(ratios);
  bool memoryMet = toolPeak < 64 * 1024;
  bool timeMet = ratio <= 1.05;
  std::printf("Build-server run with a dSYM of %.0f MB, median of %d rounds (file system of %s)\n",
              static_cast<double>(dsymBytes) / (1 << 20), rounds, base.c_str());
  std::printf("  peak memory of run (with its zip child): %.1f MB (goal: < 64 MB) %s\n",
              toolPeak / 1024.0, memoryMet ? "met" : "NOT met");
  std::printf("  peak memory of zip alone:                %.1f MB\n", zipPeak / 1024.0);
  std::printf("  run:        %.3f s median, %.3f s best, %.3f s cpu\n", median(tool),
              *std::min_element(tool.begin(), tool.end()), median(toolCPU));
  std::printf("  zip + curl: %.3f s median, %.3f s best, %.3f s cpu\n", median(reference),
              *std::min_element(reference.begin(), reference.end()), median(referenceCPU));
  std::printf("  ratio run / (zip + curl), median of the rounds: %.3f (goal: <= 1.05) %s\n", ratio,
              timeMet ? "met" : "NOT met");
  return memoryMet && timeMet ? 0 : 1;
}
