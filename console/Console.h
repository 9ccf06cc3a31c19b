#pragma once

#include <string>
#include <string_view>

#include "platform/Log.h"

// Verbose output switch: set once by main from the "debug" user default.
extern bool debugMode;

// Writes one framed record: "\n\nBrantle: " and the formatted text.
template <typename... Args>
void QVXLog(std::string_view fmt, const Args&... args) {
  platform::NSLog("\n\nBrantle: %@", platform::format(fmt, args...));
}

// Prints the title and reason as one framed record and ends the process
// with status 1. Never returns.
[[noreturn]] void failWithTitleAndReason(const std::string& title, const std::string& reason);
