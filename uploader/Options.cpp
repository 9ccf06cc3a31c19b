#include "uploader/Options.h"

#include <algorithm>
#include <fstream>

#include "platform/CommandLineOptions.h"
#include "platform/Text.h"

namespace {

enum OptionId {
  kAPIKey = 1000,
  kAPIKeyFile,
  kAppId,
  kAppVersion,
  kAppBuild,
  kPlatform,
  kConfiguration,
  kDryRun,
  kJobs,
  kQuiet,
  kDebug,
  kHelp,
  kVersion,
};

const std::vector<platform::LongOption> kOptions = {
    {"api-key", true, kAPIKey},
    {"api-key-file", true, kAPIKeyFile},
    {"app-id", true, kAppId},
    {"app-version", true, kAppVersion},
    {"app-build", true, kAppBuild},
    {"platform", true, kPlatform},
    {"configuration", true, kConfiguration},
    {"dry-run", false, kDryRun},
    {"jobs", true, kJobs},
    {"quiet", false, kQuiet},
    {"debug", false, kDebug},
    {"help", false, kHelp},
    {"version", false, kVersion},
};

std::optional<int> jobsValue(const std::string& text) {
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const int jobs = std::stoi(text);
  if (jobs < 1 || jobs > kMostJobs) return std::nullopt;
  return jobs;
}

// Applies one option; the usage error it makes, if any.
std::optional<std::string> apply(UploadOptions& options, int id, const std::string& value) {
  switch (id) {
    case kAPIKey:
      options.apiKey = value;
      break;
    case kAPIKeyFile:
      options.apiKeyFile = value;
      break;
    case kAppId:
      if (value.empty()) return "--app-id takes an identifier that is not empty";
      options.appId = value;
      break;
    case kAppVersion:
      options.appVersion = value;
      break;
    case kAppBuild:
      options.appBuild = value;
      break;
    case kConfiguration:
      options.configuration = value;
      break;
    case kDryRun:
      options.dryRun = true;
      break;
    case kQuiet:
      options.quiet = true;
      break;
    case kDebug:
      options.debug = true;
      break;
    case kHelp:
      options.help = true;
      break;
    case kVersion:
      options.version = true;
      break;
    case kPlatform:
      if (value != "ios" && value != "mac") return "--platform takes ios or mac, not " + value;
      options.platformWord = value;
      break;
    case kJobs:
      if (auto jobs = jobsValue(value))
        options.jobs = *jobs;
      else
        return "--jobs takes a number from 1 to " + std::to_string(kMostJobs) + ", not " + value;
      break;
  }
  return std::nullopt;
}

std::string trimmed(std::string text) {
  const auto end = text.find_last_not_of(" \t\r\n");
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace

std::optional<UploadOptions> parseUploadOptions(int argc, char** argv, std::string* error) {
  platform::ParsedCommandLine parsed = platform::parseLongOptions(argc, argv, kOptions);
  if (parsed.error) {
    *error = *parsed.error;
    return std::nullopt;
  }
  UploadOptions options;
  for (const auto& [id, value] : parsed.options) {
    if (auto fault = apply(options, id, value)) {
      *error = *fault;
      return std::nullopt;
    }
  }
  options.paths = std::move(parsed.operands);
  if (options.paths.empty() && !options.help && !options.version) {
    *error = "no PATH given";
    return std::nullopt;
  }
  return options;
}

std::string uploadUsage() {
  return "usage: upload-dsyms [options] PATH...\n"
         "Uploads the dSYM bundles of each PATH: an .xcarchive, a .dSYM bundle, a folder\n"
         "(every .dSYM under it) or a .zip of dSYMs.\n"
         "\n"
         "  --api-key KEY         the API key (or QUORVEX_API_KEY, or --api-key-file)\n"
         "  --api-key-file FILE   read the API key from the file's first line\n"
         "  --app-id ID           the app's identifier (required outside an archive)\n"
         "  --app-version SHORT   the app's short version string\n"
         "  --app-build NUMBER    the app's build number\n"
         "  --platform ios|mac    the platform (default: read from each dSYM)\n"
         "  --configuration NAME  the build configuration (default Release)\n"
         "  --dry-run             list what would be sent; send nothing\n"
         "  --jobs N              dSYMs in flight at once (default 2)\n"
         "  --quiet               show no progress\n"
         "  --debug               say more\n"
         "  --help                show this text\n"
         "  --version             show the version\n";
}

std::optional<std::string> resolveAPIKey(const UploadOptions& options,
                                         const platform::Environment& environment,
                                         std::string* error) {
  std::optional<std::string> key = options.apiKey;
  if (!key && options.apiKeyFile) {
    std::ifstream file(*options.apiKeyFile);
    std::string line;
    if (!file || !std::getline(file, line)) {
      *error = "cannot read the API key from " + *options.apiKeyFile;
      return std::nullopt;
    }
    key = trimmed(line);
  }
  if (!key) key = platform::valueFor(environment, "QUORVEX_API_KEY");
  if (!key) {
    *error = "no API key: give --api-key, --api-key-file or QUORVEX_API_KEY";
    return std::nullopt;
  }
  auto length = platform::utf16Length(*key);
  if (!length || *length != 40) {
    *error = "Brantle API key not valid: it must be 40 characters long";
    return std::nullopt;
  }
  return key;
}

bool isArchivePath(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const std::string suffix = ".xcarchive";
  return name.size() > suffix.size() && name.ends_with(suffix);
}

std::optional<std::string> missingAppIdError(const UploadOptions& options) {
  if (options.appId) return std::nullopt;
  for (const auto& path : options.paths)
    if (!isArchivePath(path))
      return "--app-id is required for " + path +
             ", which is no .xcarchive: a dSYM does not tell the app's identifier";
  return std::nullopt;
}
