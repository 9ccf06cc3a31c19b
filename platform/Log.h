#pragma once

#include <string>
#include <string_view>

#include "platform/Format.h"

namespace platform {

// Writes one console record to standard error with one write(2):
// "YYYY-MM-DD HH:MM:SS.mmm run[PID:TID] TEXT\n". Safe from any thread;
// records never interleave.
void logRecord(std::string_view text);

// The platform log call: formats and writes one record.
template <typename... Args>
void NSLog(std::string_view fmt, const Args&... args) {
  logRecord(format(fmt, args...));
}

}  // namespace platform
