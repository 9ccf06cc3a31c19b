#include "driver/BuildServerMode.h"

#include <vector>

#include "driver/OtherDSYMs.h"
#include "service/BuildNotification.h"
#include "service/DSYMUpload.h"

int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, const std::string& apiKey,
                       const std::string& buildSecret) {
  std::vector<std::string> others;
  if (uploadsAllDSYMs(environment)) {
    others = otherDSYMNames(environment);
    checkOtherDSYMsMatchTheirProducts(environment, others);
  }
  buildConfigure(environment, apiKey, buildSecret);
  bool uploaded = uploadDSYM(environment, executable, apiKey, buildSecret, false) ||
                  uploadDSYM(environment, executable, apiKey, buildSecret, true);
  for (const auto& name : others)
    uploaded = (uploadOtherDSYM(environment, name, apiKey, false) ||
                uploadOtherDSYM(environment, name, apiKey, true)) &&
               uploaded;
  return uploaded ? 0 : 1;
}
