#pragma once

#include <string>
#include <string_view>

#include "platform/Format.h"

namespace platform {

// Writes one console record to standard error with one write(2):
// "YYYY-MM-DD HH:MM:SS.mmm run[PID:TID] TEXT\n". Safe from any thread;
// records never interleave.
void logRecord(std::string_view text);

// Names the program in the records that follow ("run" until set), as the
// system log names the running process. Set once, before any thread starts.
void setLogProcessName(std::string_view name);

// Whether standard error is a terminal.
bool logIsTerminal();

// Writes a status line in place of the previous one on a terminal: a
// carriage return, the text and the rest of the line cleared, no newline.
// An empty text clears the line.
void writeStatusLine(std::string_view text);

// The platform log call: formats and writes one record.
template <typename... Args>
void NSLog(std::string_view fmt, const Args&... args) {
  logRecord(format(fmt, args...));
}

}  // namespace platform
