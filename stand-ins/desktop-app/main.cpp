// Plays the desktop app: the program registered for "quorvex" URLs. It takes
// nothing over; it records each URL it is opened with, one line each, in the
// file named by --record (or prints it on standard output without one), so
// that tests and the demo can see what the tool handed over.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/FileWriting.h"

namespace {

// Appends the line with one write, so that two handlers opened at once
// never mix their lines.
bool appendLine(const char* recordPath, const std::string& line) {
  int fd = recordPath ? open(recordPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)
                      : STDOUT_FILENO;
  if (fd < 0) return false;
  bool ok = platform::writeAll(fd, line.data(), line.size());
  if (recordPath) ok = close(fd) == 0 && ok;
  return ok;
}

void printUsage() { fprintf(stderr, "usage: desktop-app [--record FILE] URL...\n"); }

}  // namespace

int main(int argc, char** argv) {
  const char* recordPath = nullptr;
  std::vector<std::string> urls;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--record") == 0 && i + 1 < argc) {
      recordPath = argv[++i];
    } else if (strncmp(argv[i], "--", 2) == 0) {
      printUsage();
      return 2;
    } else {
      urls.emplace_back(argv[i]);
    }
  }
  for (const auto& url : urls) {
    if (!appendLine(recordPath, url + "\n")) {
      fprintf(stderr, "desktop-app: cannot record to %s: %s\n", recordPath, strerror(errno));
      return 1;
    }
  }
  return 0;
}
