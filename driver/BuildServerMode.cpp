#include "driver/BuildServerMode.h"

#include <algorithm>
#include <vector>

#include "driver/OtherDSYMs.h"
#include "driver/ServiceDescriptions.h"
#include "service/BuildNotification.h"
#include "service/DSYMUploadPipeline.h"

namespace {

// The other bundles go up two at a time: one zipped while one is sent.
constexpr int kOtherDSYMJobs = 2;

bool uploadOtherDSYMs(const platform::Environment& environment, const UploadService& service,
                      const std::vector<OtherDSYM>& others) {
  std::vector<DSYMUploadDescription> descriptions;
  for (const auto& other : others)
    descriptions.push_back(otherUploadDescription(environment, other.name, other.match));
  const std::vector<bool> uploaded = uploadDescribedDSYMs(service, descriptions, kOtherDSYMJobs);
  return std::all_of(uploaded.begin(), uploaded.end(), [](bool each) { return each; });
}

}  // namespace

int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, DSYMMatch appMatch,
                       const std::string& apiKey, const std::string& buildSecret) {
  std::vector<OtherDSYM> others;
  if (uploadsAllDSYMs(environment))
    others = checkOtherDSYMsMatchTheirProducts(environment, otherDSYMNames(environment));
  buildConfigure(notificationDescription(environment), apiKey, buildSecret);
  // The upload never carries the build secret.
  const UploadService service = uploadService(environment, apiKey);
  const DSYMUploadDescription app = appUploadDescription(environment, executable, appMatch);
  bool uploaded = uploadDSYM(service, app, false) || uploadDSYM(service, app, true);
  if (!others.empty()) uploaded = uploadOtherDSYMs(environment, service, others) && uploaded;
  return uploaded ? 0 : 1;
}
