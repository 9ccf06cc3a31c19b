#include "platform/Log.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/files/FileWriting.h"

namespace platform {

namespace {

std::string& processName() {
  static std::string name = "run";
  return name;
}

std::mutex& writeLock() {
  static std::mutex lock;
  return lock;
}

std::string recordPrefix() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  char stamp[64];
  size_t n = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  snprintf(stamp + n, sizeof stamp - n, ".%03d", static_cast<int>(now.tv_usec / 1000));
  char ids[128];
  snprintf(ids, sizeof ids, " %.48s[%d:%ld] ", processName().c_str(), static_cast<int>(getpid()),
           static_cast<long>(syscall(SYS_gettid)));
  return std::string(stamp) + ids;
}

}  // namespace

void logRecord(std::string_view text) {
  std::string record = recordPrefix();
  record.append(text);
  record += '\n';
  // One write(2) per record; the lock keeps records whole when a record is
  // larger than a pipe writes atomically or a write comes back partial.
  std::lock_guard<std::mutex> guard(writeLock());
  writeAll(STDERR_FILENO, record.data(), record.size());
}

void setLogProcessName(std::string_view name) { processName() = name; }

bool logIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void writeStatusLine(std::string_view text) {
  std::string line = "\r";
  line.append(text);
  line += "\x1b[K";
  std::lock_guard<std::mutex> guard(writeLock());
  writeAll(STDERR_FILENO, line.data(), line.size());
}

}  // namespace platform
