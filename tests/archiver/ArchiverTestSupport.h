#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace archivertest {

using testsupport::ProcessResult;

inline std::string archiverExecutable() { return ARCHIVER_EXECUTABLE; }

// Runs the archiver with the five arguments of an archive of SOURCE at ZIP,
// stopped after SECONDS so that a hang fails the test instead of the run.
ProcessResult archive(const std::string& source, const std::string& zip, int seconds = 60);
// Runs the archiver with exactly these arguments, stopped after SECONDS.
ProcessResult runArchiver(const std::vector<std::string>& arguments, int seconds = 60);
// Starts the archiver in the background with the stop signals at their
// default actions, through WRAPPER when given (/usr/bin/nohup: SIGHUP
// ignored); its standard streams go nowhere. Returns its process id.
pid_t startArchiver(const std::string& source, const std::string& zip,
                    const std::vector<std::string>& wrapper = {});
// Runs a command found in /usr/bin or /bin (a short PATH, the test's own HOME).
ProcessResult runTool(const std::vector<std::string>& argv);

// One entry as Python's zipfile module reads the central directory.
struct ZipEntry {
  std::string name;
  uint32_t mode = 0;  // st_mode from the external attributes
  uint64_t size = 0;
  uint32_t crc = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  std::string dateTime;  // the DOS date and time, as YYYY-MM-DDThh:mm:ss
};
// The entries in archive order; fails the test when Python cannot read it.
std::vector<ZipEntry> listEntries(const std::string& zip);

// The tree under ROOT as the archive should hold it: for each path relative
// to ROOT's parent (folders ending with '/'), its type and mode, and for
// files and links its content or link text. FIFOs, sockets and devices are
// left out, as the archiver leaves them out.
struct TreeItem {
  uint32_t mode = 0;
  std::string content;
  time_t mtime = 0;
};
std::map<std::string, TreeItem> readTree(const std::string& root, const std::string& topName);

// Extracts ZIP into FOLDER with unzip (links as links, modes and times kept)
// and expects the extracted tree to equal the tree at SOURCE, with the top
// entry named TOPNAME; also expects the central directory to list the same
// names, modes, sizes and CRC-32s.
void expectArchiveEqualsTree(const std::string& zip, const std::string& source,
                             const std::string& topName, const std::string& folder);

// The names in FOLDER (not recursive), sorted.
std::vector<std::string> namesIn(const std::string& folder);

// Bytes that compress about as well as debug information.
std::string dwarfLikeBytes(size_t length, uint64_t seed);

}  // namespace archivertest
