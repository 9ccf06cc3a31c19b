#include "handoff/BuildCache.h"
#include "platform/files/Path.h"
#include "platform/propertylists/PropertyList.h"
#include "service/WebServiceInterface.h"

std::string endpoint(const platform::Environment& environment) {
  auto products = platform::valueFor(environment, "BUILT_PRODUCTS_DIR");
  auto infoPlist = platform::valueFor(environment, "INFOPLIST_PATH");
  if (products && infoPlist) {
    std::string path = platform::appendPathComponent(*products, *infoPlist);
    if (auto info = platform::dictionaryWithContentsOfFile(path)) {
      if (auto* value = platform::textForKey(*info, "QuorvexAPIEndpoint")) return *value;
    }
  }
  return kDefaultAPIBaseURL;
}
