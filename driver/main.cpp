// The run script build phase: validates the build, then hands it to the
// desktop app or uploads its dSYM to the web service.

#include <string>
#include <utility>

#include "console/Console.h"
#include "driver/ArtifactPlist.h"
#include "driver/BuildServerMode.h"
#include "driver/DSYMCheck.h"
#include "driver/DeploymentTarget.h"
#include "driver/HostDetection.h"
#include "driver/InteractiveMode.h"
#include "driver/Validation.h"
#include "handoff/BuildCache.h"
#include "platform/BooleanValue.h"
#include "platform/Environment.h"
#include "platform/MainBundle.h"
#include "platform/Text.h"
#include "platform/UserDefaults.h"
#include "platform/processes/BrokenPipe.h"

namespace {

const char* const kKeyNotSetReason =
    "Brantle API key not set. Your Brantle run script build phase should contain your API "
    "key:\n./Brantle.framework/run YOUR_API_KEY YOUR_BUILD_SECRET\n\n";
const char* const kKeyNotValidReason =
    "Brantle API key not valid. Your Brantle run script build phase should contain your API "
    "key:\n./Brantle.framework/run YOUR_API_KEY YOUR_BUILD_SECRET\n\n";

void printVersionLine() {
  platform::NSLog("Brantle.framework/run %@", platform::toolShortVersion());
}

void requireAPIKeyArgument(int argc) {
  if (argc < 2) failWithTitleAndReason("Configuration Issue", kKeyNotSetReason);
}

void readDebugPreference(int argc, const char* const* argv) {
  auto debug = platform::userDefault("debug", argc, argv);
  if (debug && platform::isBooleanTrue(*debug)) debugMode = true;
}

// An argument that is not UTF-8 decodes to nothing and counts as empty.
std::string validatedAPIKey(const char* argument) {
  std::string key = argument ? argument : "";
  auto length = platform::utf16Length(key);
  if (!length || *length != 40) failWithTitleAndReason("Configuration Issue", kKeyNotValidReason);
  return key;
}

// A secret that is 64 bytes long but not UTF-8 cannot become text; it is
// then taken as the empty text, like a secret of the wrong length.
std::string buildSecret(int argc, const char* const* argv) {
  if (argc < 3 || !argv[2]) return "";
  std::string secret = argv[2];
  if (secret.size() != 64 || !platform::isValidUTF8(secret)) return "";
  return secret;
}

// Where the build goes: to the desktop app, or to the web service directly.
enum class RunMode { interactive, buildServer };

// Interactive unless the Bots daemon runs the build; then only when the
// desktop app is installed or Xcode started the build. Evaluated left to
// right, so each test runs only when it can still change the answer.
RunMode decideRunMode() {
  if (!isBotsDaemonInProcessHierarchy() && (isQuorvexInstalled() || isXcodeInProcessHierarchy()))
    return RunMode::interactive;
  return RunMode::buildServer;
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever reads the console may go away; the run goes on without it.
  platform::ignoreBrokenPipes();
  printVersionLine();
  requireAPIKeyArgument(argc);
  readDebugPreference(argc, argv);
  const std::string apiKey = validatedAPIKey(argv[1]);
  const platform::Environment environment = platform::environmentSnapshot();
  const std::string serviceEndpoint = endpoint(environment);
  const std::string secret = buildSecret(argc, argv);
  verifyEnvironmentIsValid(environment);
  computePathToFramework(environment);
  const std::shared_ptr<QVXMachOBinary> executable = checkDeploymentTarget(environment);
  DSYMMatch dSYMMatch = checkDSYMMatchesExecutable(environment, executable);
  writeArtifactPlistIfRequested(environment, apiKey);
  const RunMode mode = decideRunMode();
  if (mode == RunMode::interactive) return runInteractiveMode(environment, apiKey, serviceEndpoint);
  return runBuildServerMode(environment, executable, std::move(dSYMMatch), apiKey, secret);
}
