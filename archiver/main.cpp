// Makes a zip archive of a folder, its top entry named by the folder:
//   archiver -c -k --keepParent SOURCE ZIPPATH
// Status 0 when the archive is complete at ZIPPATH; otherwise a message on
// standard error, status 1 (2 for a wrong command line), and no file left.
// With "-" for ZIPPATH the archive goes to standard output as it is made
// (each file's sizes after its data); a reader must take it as whole only
// on status 0.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "archiver/OutputFile.h"
#include "archiver/TemporaryFile.h"
#include "archiver/TreeWalker.h"
#include "archiver/ZipWriter.h"

namespace {

// Adds each item of the walk to the archive.
class ArchiveVisitor : public archiver::TreeVisitor {
 public:
  explicit ArchiveVisitor(archiver::ZipWriter& zip) : zip_(zip) {}
  bool directory(const std::string& name, const struct stat& info, std::string* error) override {
    return zip_.addDirectory(name, info, error);
  }
  bool link(const std::string& name, const std::string& target, const struct stat& info,
            std::string* error) override {
    return zip_.addLink(name, target, info, error);
  }
  bool file(const std::string& name, int fd, const struct stat& info, const std::string& path,
            std::string* error) override {
    return zip_.addFile(name, fd, info, path, error);
  }

 private:
  archiver::ZipWriter& zip_;
};

bool argumentsAreValid(int argc, char** argv) {
  return argc == 6 && std::strcmp(argv[1], "-c") == 0 && std::strcmp(argv[2], "-k") == 0 &&
         std::strcmp(argv[3], "--keepParent") == 0 && argv[4][0] != '\0' && argv[5][0] != '\0';
}

bool streamArchive(const std::string& source, std::string* error) {
  archiver::OutputFile out(STDOUT_FILENO, "standard output");
  archiver::ZipWriter zip(out, true);
  ArchiveVisitor visitor(zip);
  return archiver::walkTree(source, visitor, error) && zip.finish(error);
}

bool makeArchive(const std::string& source, const std::string& zipPath, std::string* error) {
  if (zipPath == "-") return streamArchive(source, error);
  archiver::TemporaryFile temporary;
  if (!temporary.create(zipPath, error)) return false;
  archiver::OutputFile out(temporary.fd(), zipPath);
  archiver::ZipWriter zip(out);
  ArchiveVisitor visitor(zip);
  return archiver::walkTree(source, visitor, error) && zip.finish(error) && temporary.commit(error);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader of stderr that has gone away must not stop the archive midway:
  // the failed write is dropped and the archive is finished and renamed. A
  // reader of a streamed archive that has gone away fails the next write.
  std::signal(SIGPIPE, SIG_IGN);
  if (!argumentsAreValid(argc, argv)) {
    std::fprintf(stderr, "usage: archiver -c -k --keepParent SOURCE ZIPPATH\n");
    return 2;
  }
  std::string error;
  if (!makeArchive(argv[4], argv[5], &error)) {
    std::fprintf(stderr, "archiver: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
