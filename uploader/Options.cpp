#include "uploader/Options.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "platform/CommandLineOptions.h"
#include "platform/Text.h"
#include "platform/urlloading/URL.h"

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
  kURL,
  kID,
  kRequireAll,
  kRetries,
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
    {"url", true, kURL},
    {"id", true, kID},
    {"require-all", false, kRequireAll},
    {"retries", true, kRetries},
};

// A whole number from `least` to `most`, written in decimal digits.
std::optional<int> numberValue(const std::string& text, int least, int most) {
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const int number = std::stoi(text);
  if (number < least || number > most) return std::nullopt;
  return number;
}

// A UUID as the service names it: 32 lowercase hexadecimal digits, from a
// text in either case, with or without the dashes of the canonical form.
std::optional<std::string> uuidValue(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return digits.size() == 32 ? std::optional<std::string>(digits) : std::nullopt;
}

bool isBaseURL(const std::string& text) {
  return (text.starts_with("https://") || text.starts_with("http://")) &&
         platform::URL::URLWithString(text).has_value();
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
      if (auto jobs = numberValue(value, 1, kMostJobs))
        options.jobs = *jobs;
      else
        return "--jobs takes a number from 1 to " + std::to_string(kMostJobs) + ", not " + value;
      break;
    case kRetries:
      if (auto retries = numberValue(value, 0, kMostRetries))
        options.retries = *retries;
      else
        return "--retries takes a number from 0 to " + std::to_string(kMostRetries) + ", not " +
               value;
      break;
    case kURL:
      if (!isBaseURL(value)) return "--url takes an http or https URL, not " + value;
      options.url = value;
      break;
    case kID:
      if (auto uuid = uuidValue(value))
        options.ids.push_back(*uuid);
      else
        return "--id takes a UUID (32 hexadecimal digits, dashes allowed), not " + value;
      break;
    case kRequireAll:
      options.requireAll = true;
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
  if (options.requireAll && options.ids.empty()) {
    *error = "--require-all needs at least one --id";
    return std::nullopt;
  }
  if (options.paths.empty() && !options.help && !options.version) {
    *error = "no PATH given";
    return std::nullopt;
  }
  return options;
}

std::string uploadUsage() {
  return "usage: upload-dsyms [options] PATH...\n"
         "Uploads the dSYM bundles of each PATH: an .xcarchive, a .dSYM bundle, a folder\n"
         "(every .dSYM and every .zip of dSYMs under it) or a .zip of dSYMs.\n"
         "\n"
         "  --api-key KEY         the API key (or QUORVEX_API_KEY, or --api-key-file)\n"
         "  --api-key-file FILE   read the API key from the file's first line\n"
         "  --app-id ID           the app's identifier (required outside an archive)\n"
         "  --app-version SHORT   the app's short version string\n"
         "  --app-build NUMBER    the app's build number\n"
         "  --platform ios|mac    the platform (default: read from each dSYM)\n"
         "  --configuration NAME  the build configuration (default Release)\n"
         "  --url BASE            the service's code-mapping base URL (or\n"
         "                        QUORVEX_CODE_MAPPING_BASE_URL)\n"
         "  --id UUID             send only the dSYMs holding this UUID (repeatable)\n"
         "  --require-all         fail when a UUID given with --id is not found\n"
         "  --retries N           attempts after a failed one, per dSYM (default 1)\n"
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
