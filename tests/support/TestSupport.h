#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a program (no shell, no PATH search) with exactly the given
// environment and working directory, and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment,
                         const std::string& workingDirectory = "");

// The same, killed (status 128 + 9) when it has not ended after `seconds`,
// so that a test of something that must not wait cannot hang itself.
ProcessResult runProcessWithin(int seconds, const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment,
                               const std::string& workingDirectory = "");

// Writes a file, creating missing parent folders.
void writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
void makeDirectories(const std::string& path);

// How many times the needle occurs in the text.
size_t countOf(const std::string& text, const std::string& needle);

// Paths of the built tool and of the source tree.
inline std::string runExecutable() { return RUN_EXECUTABLE; }
inline std::string uploadDSYMsExecutable() { return UPLOAD_DSYMS_EXECUTABLE; }
inline std::string sourceRoot() { return SOURCE_ROOT; }
inline std::string binaryRoot() { return BINARY_ROOT; }

}  // namespace testsupport

namespace testsupport {
// The folder of the small programs built from tests/programs/.
inline std::string testProgramsDir() { return TEST_PROGRAMS_DIR; }
}  // namespace testsupport
