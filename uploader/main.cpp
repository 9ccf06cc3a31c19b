// upload-dsyms: uploads the dSYM bundles of archives, folders, bundles and
// zips after the build, through the same upload path as the build phase.

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <string>

#include "console/Console.h"
#include "platform/Environment.h"
#include "platform/Log.h"
#include "platform/MainBundle.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/processes/BrokenPipe.h"
#include "service/DSYMUploadPipeline.h"
#include "service/WebServiceInterface.h"
#include "uploader/DryRun.h"
#include "uploader/Inputs.h"
#include "uploader/Options.h"
#include "uploader/OwnedFolder.h"
#include "uploader/Plan.h"
#include "uploader/Progress.h"

namespace {

constexpr int kUsageStatus = 2;

[[noreturn]] void usageError(const std::string& fault) {
  std::cerr << "upload-dsyms: " << fault << "\n" << uploadUsage();
  std::exit(kUsageStatus);
}

UploadOptions parsedOptions(int argc, char** argv) {
  std::string fault;
  auto options = parseUploadOptions(argc, argv, &fault);
  if (!options) usageError(fault);
  if (options->help) {
    std::cout << uploadUsage();
    std::exit(0);
  }
  if (options->version) {
    std::cout << "upload-dsyms " << platform::toolShortVersion() << "\n";
    std::exit(0);
  }
  if (auto missing = missingAppIdError(*options)) usageError(*missing);
  return *options;
}

// The key, checked before anything is read; a dry run needs none.
std::string apiKey(const UploadOptions& options, const platform::Environment& environment) {
  if (options.dryRun && !options.apiKey && !options.apiKeyFile) return "";
  std::string fault;
  auto key = resolveAPIKey(options, environment, &fault);
  if (!key) usageError(fault);
  return *key;
}

// Names each UUID asked for with --id that no dSYM to be sent holds.
int reportIdsNotFound(const std::vector<std::string>& ids) {
  for (const auto& id : ids) QVXLog("No dSYM to send holds the UUID %@ given with --id", id);
  return static_cast<int>(ids.size());
}

int upload(const UploadOptions& options, const UploadPlan& plan, const UploadService& service) {
  ConsoleUploadProgress progress(platform::logIsTerminal());
  const std::vector<bool> sent = uploadDescribedDSYMs(
      service, plan.uploads, options.jobs, options.quiet ? nullptr : &progress, options.retries);
  const int uploaded = static_cast<int>(std::count(sent.begin(), sent.end(), true));
  const int total = static_cast<int>(plan.uploads.size()) + plan.refused;
  QVXLog("uploaded %i of %i", uploaded, total);
  return uploadExitStatus(plan.badInputs, uploaded, total);
}

int run(int argc, char** argv) {
  const UploadOptions options = parsedOptions(argc, argv);
  debugMode = options.debug;
  const platform::Environment environment = platform::environmentSnapshot();
  const UploadService service{
      options.url ? *options.url
                  : serviceBaseURL(platform::valueFor(environment, "QUORVEX_CODE_MAPPING_BASE_URL"),
                                   kCodeMappingBaseURL),
      apiKey(options, environment)};
  // Read: the programs this one starts (the archiver) need not hold it.
  platform::removeEnvironmentVariable("QUORVEX_API_KEY");
  // A dry run writes nothing but what reading a zip takes.
  std::unique_ptr<OwnedFolder> work;
  const std::function<bool()> roomForZips = [&work] {
    if (!work) work = makeWorkFolder();
    return work != nullptr;
  };
  if (!options.dryRun && !roomForZips()) return 1;
  InputScan inputs = scanInputs(options.paths, options.appId.has_value(), roomForZips);
  UploadPlan plan = planUploads(inputs.dsyms, options, work ? work->path() : "");
  plan.badInputs += inputs.badInputs;
  if (options.requireAll) plan.badInputs += reportIdsNotFound(plan.idsNotFound);
  if (options.dryRun) {
    std::cout << dryRunListing(plan.uploads);
    return uploadExitStatus(plan.badInputs, static_cast<int>(plan.uploads.size()),
                            static_cast<int>(plan.uploads.size()) + plan.refused);
  }
  return upload(options, plan, service);
}

}  // namespace

int main(int argc, char** argv) {
  platform::setLogProcessName("upload-dsyms");
  // Whatever reads the console may go away; the uploads go on without it.
  platform::ignoreBrokenPipes();
  // An exception ends the run through the destructors, which remove the
  // work folder and what is in it.
  try {
    return run(argc, argv);
  } catch (const std::exception& exception) {
    QVXLog("upload-dsyms stopped: %@", std::string(exception.what()));
  } catch (...) {
    QVXLog("upload-dsyms stopped by an unexpected error");
  }
  return 1;
}
