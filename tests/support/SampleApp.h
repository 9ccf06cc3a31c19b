#pragma once

#include <gtest/gtest.h>

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

// A fixture whose suite builds the sample app once; each test copies its
// products folder into a folder of its own.
class SampleAppTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sample_ = new SampleApp;
    std::string error;
    ASSERT_TRUE(sample_->build(&error)) << error;
  }
  static void TearDownTestSuite() {
    delete sample_;
    sample_ = nullptr;
  }
  // Copies the sample app's products folder to FOLDER.
  static void copySampleProductsTo(const std::string& folder) { sample_->copyProductsTo(folder); }

 private:
  static inline SampleApp* sample_ = nullptr;
};

}  // namespace testsupport
