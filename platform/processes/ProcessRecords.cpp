#include "platform/processes/ProcessRecords.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <vector>

namespace platform {

namespace {

// The fields after the command name, counted from the state field (field 3 of
// the record): the parent's id is field 4, the start time field 22.
constexpr size_t kParentPidIndex = 1;
constexpr size_t kStartTimeIndex = 19;

template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> fieldsAfter(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ') ++at;
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    if (end > at) fields.push_back(text.substr(at, end - at));
    at = end;
  }
  return fields;
}

// Reads a small /proc file whole; nothing on any failure.
std::optional<std::string> readProcFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

}  // namespace

std::optional<ProcessRecord> parseProcessRecord(std::string_view statText) {
  while (!statText.empty() && (statText.back() == '\n' || statText.back() == '\0'))
    statText.remove_suffix(1);
  size_t open = statText.find(" (");
  size_t close = statText.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2)
    return std::nullopt;
  ProcessRecord record;
  if (!parseNumber(statText.substr(0, open), record.pid)) return std::nullopt;
  record.commandName = std::string(statText.substr(open + 2, close - open - 2));
  auto fields = fieldsAfter(statText.substr(close + 1));
  if (fields.size() <= kStartTimeIndex) return std::nullopt;
  if (!parseNumber(fields[kParentPidIndex], record.parentPid)) return std::nullopt;
  if (!parseNumber(fields[kStartTimeIndex], record.startTime)) return std::nullopt;
  return record;
}

std::optional<ProcessRecord> processRecord(int pid) {
  if (pid < 0) return std::nullopt;
  auto text = readProcFile("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return std::nullopt;
  auto record = parseProcessRecord(*text);
  if (!record || record->pid != pid) return std::nullopt;
  return record;
}

int currentProcessId() { return static_cast<int>(getpid()); }

}  // namespace platform
