// A build-server run that uploads every dSYM of the build
// (QUORVEX_UPLOAD_ALL_DSYMS) against the same work done by hand: `zip -r`
// and `curl -F` once per bundle, against the same stand-in service.
//
//   bench_all_dsyms [FOLDER [ROUNDS]]
//
// Lays out the sample app with two frameworks and an app extension beside
// it, each with its dSYM, of 150, 60, 60 and 30 MB of real debug
// information (bench/FourBundleBuild.h). Each round runs the tool once and
// the reference once, in alternating order; the goal, as for the app's
// dSYM alone, is judged on the median of the rounds' ratios: at most 0.4.
#include <sys/prctl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/FourBundleBuild.h"
#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path work = base / ("all-dsyms-bench-" + std::to_string(getpid()));
  const fs::path products = work / "products";
  fs::create_directories(work / "project");
  if (!bench::buildFourBundles(products, work / "objects")) {
    std::fprintf(stderr, "the products could not be built\n");
    fs::remove_all(work);
    return 1;
  }
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);

  std::vector<double> ratios, ours, theirs;
  {
    bench::Service service(work / "service-data");
    bench::Environment settings =
        bench::sampleAppSettings(products, work / "project", work, service.baseURL());
    settings["QUORVEX_UPLOAD_ALL_DSYMS"] = "YES";
    for (int round = 0; round < rounds; ++round) {
      bench::Outcome tool, reference;
      for (int turn = 0; turn < 2; ++turn) {
        sync();
        if ((round + turn) % 2 == 0)
          tool = bench::measure({RUN_EXECUTABLE, kKey}, &settings, work / "project");
        else
          reference = bench::zipAndCurlEach(products, products / "reference.zip", service, kKey);
      }
      service.forget();
      if (tool.status != 0 || reference.status != 0) {
        std::fprintf(stderr, "round %d failed: tool %d, reference %d\n", round, tool.status,
                     reference.status);
        return 1;
      }
      ours.push_back(tool.seconds);
      theirs.push_back(reference.seconds);
      ratios.push_back(tool.seconds / reference.seconds);
      std::printf("  round %d: run %.3f s, 4 x (zip + curl) %.3f s, ratio %.3f\n", round,
                  tool.seconds, reference.seconds, ratios.back());
    }
  }
  fs::remove_all(work);
  const double ratio = bench::median(ratios);
  std::printf("Every dSYM of a four-bundle build (150 + 60 + 60 + 30 MB), %d rounds\n", rounds);
  std::printf("  run: %.3f s median; 4 x (zip -r + curl -F): %.3f s median\n", bench::median(ours),
              bench::median(theirs));
  std::printf("  ratio run / (zip + curl), median of the rounds: %.3f (goal: <= 0.4) %s\n", ratio,
              ratio <= 0.4 ? "met" : "NOT met");
  return ratio <= 0.4 ? 0 : 1;
}
