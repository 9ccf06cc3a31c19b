#include "driver/BuildServerMode.h"

#include <vector>

#include "driver/Console.h"
#include "driver/OtherDSYMs.h"
#include "service/BuildNotification.h"
#include "service/DSYMUpload.h"

namespace {

// The app's upload carries one identifier/arch pair per slice of the
// executable, in slice order; a slice without UUID or architecture is
// reported and left out.
std::vector<UUIDPair> executableUploadPairs(const std::shared_ptr<QVXMachOBinary>& executable) {
  std::vector<UUIDPair> pairs;
  if (!executable) return pairs;
  executable->enumerateUUIDs(
      [&](const std::optional<std::string>& uuid, const std::string& architecture) {
        if (uuid && !architecture.empty())
          pairs.emplace_back(*uuid, architecture);
        else
          QVXLog("Unable to extract uuid-architecture pairs from binary %@", executable->path());
      });
  return pairs;
}

}  // namespace

int runBuildServerMode(const platform::Environment& environment,
                       const std::shared_ptr<QVXMachOBinary>& executable, DSYMMatch appMatch,
                       const std::string& apiKey, const std::string& buildSecret) {
  std::vector<OtherDSYM> others;
  if (uploadsAllDSYMs(environment))
    others = checkOtherDSYMsMatchTheirProducts(environment, otherDSYMNames(environment));
  buildConfigure(environment, apiKey, buildSecret);
  appMatch.pairs = executableUploadPairs(executable);
  bool uploaded = uploadDSYM(environment, appMatch, apiKey, buildSecret, false) ||
                  uploadDSYM(environment, appMatch, apiKey, buildSecret, true);
  for (const auto& other : others)
    uploaded = (uploadOtherDSYM(environment, other.name, other.match, apiKey, false) ||
                uploadOtherDSYM(environment, other.name, other.match, apiKey, true)) &&
               uploaded;
  return uploaded ? 0 : 1;
}
