#include "driver/BuildServerMode.h"

#include "service/BuildNotification.h"
#include "service/DSYMUpload.h"

int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, const std::string& apiKey,
                       const std::string& buildSecret) {
  buildConfigure(environment, apiKey, buildSecret);
  if (uploadDSYM(environment, executable, apiKey, buildSecret, false)) return 0;
  return uploadDSYM(environment, executable, apiKey, buildSecret, true) ? 0 : 1;
}
