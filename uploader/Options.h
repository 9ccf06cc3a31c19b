#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"

// What the command line of upload-dsyms asks for.
struct UploadOptions {
  std::optional<std::string> apiKey;        // --api-key
  std::optional<std::string> apiKeyFile;    // --api-key-file
  std::optional<std::string> appId;         // --app-id
  std::optional<std::string> appVersion;    // --app-version: the short version string
  std::optional<std::string> appBuild;      // --app-build: the build number
  std::optional<std::string> platformWord;  // --platform: "ios" or "mac"
  std::optional<std::string> url;           // --url: the code-mapping base URL
  std::vector<std::string> ids;             // --id: UUIDs, 32 lowercase hex digits
  bool requireAll = false;                  // --require-all
  int retries = 1;                          // --retries
  std::string configuration = "Release";
  bool dryRun = false;
  bool quiet = false;
  bool debug = false;
  bool help = false;
  bool version = false;
  int jobs = 2;
  std::vector<std::string> paths;
};

// The most dSYMs --jobs lets be in flight at once, and the most --retries.
inline constexpr int kMostJobs = 16;
inline constexpr int kMostRetries = 10;

// The options and paths of the command line; nothing, with a sentence
// naming the fault in *error, for a usage error (an unknown option, a
// missing or bad value, no PATH).
std::optional<UploadOptions> parseUploadOptions(int argc, char** argv, std::string* error);

// The usage text, ending with a newline.
std::string uploadUsage();

// The API key: --api-key, else the first line of --api-key-file, else
// QUORVEX_API_KEY. Nothing, with the reason in *error, when none is given,
// the file cannot be read, or the key is not 40 characters long.
std::optional<std::string> resolveAPIKey(const UploadOptions& options,
                                         const platform::Environment& environment,
                                         std::string* error);

// Whether a PATH names an archive (its name ends with ".xcarchive").
bool isArchivePath(const std::string& path);

// The usage error when some PATH is no archive and --app-id is missing: a
// dSYM alone does not reliably tell the app's identifier.
std::optional<std::string> missingAppIdError(const UploadOptions& options);
