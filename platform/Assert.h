#pragma once

namespace platform {

// The assertion report: one console record naming the condition, the
// operation, the source file and the line, then abnormal termination.
[[noreturn]] void assertionReport(const char* condition, const char* operation, const char* file,
                                  int line);

}  // namespace platform

// Stops the process with the assertion report unless COND holds.
#define QVX_ASSERT(cond, condText, operation, file, line)                      \
  do {                                                                         \
    if (!(cond)) ::platform::assertionReport(condText, operation, file, line); \
  } while (0)
