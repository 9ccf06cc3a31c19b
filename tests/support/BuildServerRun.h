#pragma once

// Runs of the built `run` in build-server mode: below a parent named
// "xcsbuildd" (the Bots build daemon), on a copy of the sample app, with
// both service base URLs pointing to a service on 127.0.0.1.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Value.h"
#include "tests/support/ProcessGroup.h"
#include "tests/support/SampleApp.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

using Settings = std::map<std::string, std::string>;

inline const std::string kBuildServerKey = "0123456789abcdef0123456789abcdef01234567";
inline const std::string kBuildServerSecret =
    "5ecret5ecret5ecret5ecret5ecret5ecret5ecret5ecret5ecret5ecret5ec0";
// "run" exits with this when a wrapper finds no mount namespaces.
inline const int kNamespacesUnavailable = 77;

// The files of a folder whose names end with ".zip".
std::vector<std::string> zipsIn(const std::string& folder);

// The form fields of a stored request record as (name, value) pairs; the
// file part's value is its file name.
std::vector<std::pair<std::string, std::string>> fieldsOf(const platform::Value& record);

// The identifier/arch fields of a stored upload record, as
// "UUID:%@ Slice:%@\n" lines.
std::string uploadedPairs(const platform::Value& record);

// The "UUID:%@ Slice:%@\n" lines of a Mach-O file, from llvm-dwarfdump.
std::string summaryOf(const std::string& binary);

class BuildServerRunTest : public SampleAppTest {
 protected:
  void SetUp() override;

  // The sample app's build settings, both service base URLs pointing to BASEURL.
  Settings buildSettings(const std::string& baseURL) const;
  // The same with the zip made whole before it is sent (for services and
  // archivers that know only bodies with a length and zips at a path).
  Settings wholeZipSettings(const std::string& baseURL) const {
    Settings settings = buildSettings(baseURL);
    settings["QUORVEX_STREAM_UPLOAD"] = "NO";
    return settings;
  }

  // Runs `RUN KEY [arguments...]` in the project folder below a parent named
  // "xcsbuildd", itself started through WRAPPER when given; RUN is the
  // built tool unless another copy is named.
  ProcessResult runUnderBotsDaemon(const Settings& settings,
                                   const std::vector<std::string>& arguments = {kBuildServerSecret},
                                   const std::vector<std::string>& wrapper = {},
                                   const std::string& run = runExecutable()) const;

  // The same with the secret as the only argument, started in a process
  // group of its own, its output and errors appended to LOG.
  std::unique_ptr<ProcessGroup> startUnderBotsDaemon(
      const Settings& settings, const std::string& log,
      const std::vector<std::string>& wrapper = {}) const;

  // The "UUID:%@ Slice:%@\n" lines of the sample executable, from llvm-dwarfdump.
  std::string expectedSummary() const { return summaryOf(products + "/App.app/App"); }

  // The products folder holds what it held at the start of the test (or at
  // the last rememberProductsFolder()): no zip, no temporary file.
  void expectNoZipBesideTheDSYM() const;
  void rememberProductsFolder();

  TempDir root;
  std::string products = root / "products";

 private:
  std::vector<std::string> productsListing_;
};

}  // namespace testsupport
