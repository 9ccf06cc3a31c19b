#pragma once

#include <optional>
#include <string>

#include "platform/Environment.h"

// The sign-up page opened when no desktop app takes the build.
inline constexpr const char* kSignUpURL = "https://quorvex.com/sign_up";

// A text escaped for a query value: its UTF-8 bytes, each byte other than an
// ASCII letter, digit, "-", ".", "_" or "~" written as "%" and two
// upper-case hexadecimal digits.
std::string urlEncode(const std::string& text);

// The hand-off URL text "quorvex://xcode?...": the escaped Build.plist path
// alone, or with inlineSettings the build settings, the tool's identity and
// the API key. A missing build setting among the ten always sent gives an
// empty value.
std::string macAppURLText(const std::optional<std::string>& buildPlistPath,
                          const platform::Environment& environment, const std::string& apiKey,
                          bool inlineSettings);

// Hands the build to the desktop app by opening its URL, without waiting
// for it. When no application accepts the URL, opens the sign-up page,
// explains, and ends the process with status 1.
void sendDataToMacApp(const std::optional<std::string>& buildPlistPath,
                      const platform::Environment& environment, const std::string& apiKey,
                      bool inlineSettings);
