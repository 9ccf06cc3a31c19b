#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What the system tells about one process: its id, its parent's id, its short
// command name (raw bytes, at most 15 of them, not necessarily UTF-8) and its
// start time in clock ticks after boot, which tells a reused id apart.
struct ProcessRecord {
  int pid = 0;
  int parentPid = 0;
  std::string commandName;
  std::uint64_t startTime = 0;
};

// The record of a process, read from /proc/PID/stat; nothing when the process
// does not exist (any more) or its record cannot be read or parsed.
std::optional<ProcessRecord> processRecord(int pid);

// Parses the text of a /proc/PID/stat record. The command name sits between
// the first "(" and the LAST ")", since it may itself hold spaces and
// parentheses; nothing when the text is no such record.
std::optional<ProcessRecord> parseProcessRecord(std::string_view statText);

// The id of the running process.
int currentProcessId();

}  // namespace platform
