#include "tests/support/SampleApp.h"

#include <filesystem>

namespace testsupport {

bool SampleApp::build(std::string* error) {
  auto result =
      runProcess({"/bin/sh", sourceRoot() + "/scripts/build-sample-app.sh", dir_ / "products"},
                 {{"PATH", "/usr/bin:/bin"}});
  if (result.status != 0 && error) *error = result.err;
  return result.status == 0;
}

void SampleApp::copyProductsTo(const std::string& folder) const {
  namespace fs = std::filesystem;
  fs::copy(dir_ / "products", folder,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

}  // namespace testsupport
