#pragma once

#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

// The products folder of scripts/build-sample-app.sh (App.app with a real
// fat executable and Info.plist, App.app.dSYM), built once per test suite
// and copied into each test's own folder.
class SampleApp {
 public:
  // Builds the sample app; false, with the script's output in *error, on failure.
  bool build(std::string* error);
  // Copies the built products folder, links kept, to FOLDER.
  void copyProductsTo(const std::string& folder) const;

 private:
  TempDir dir_;
};

}  // namespace testsupport
