#include "tests/archiver/ArchiverTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/ProcessGroup.h"

namespace archivertest {

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> toolEnvironment() {
  const char* home = std::getenv("HOME");
  return {{"PATH", "/usr/bin:/bin"}, {"HOME", home ? home : "/tmp"}, {"LC_ALL", "C.UTF-8"}};
}

const char* kListScript = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        print('%s\t%d\t%d\t%d\t%d\t%d\t%04d-%02d-%02dT%02d:%02d:%02d' % (
              i.filename.encode('utf-8').hex(), i.external_attr >> 16, i.file_size, i.CRC,
              i.flag_bits, i.compress_type, *i.date_time))
)";

std::string fromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

ProcessResult runArchiver(const std::vector<std::string>& arguments, int seconds) {
  std::vector<std::string> argv = {"/usr/bin/timeout", std::to_string(seconds),
                                   archiverExecutable()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testsupport::runProcess(argv, {});
}

ProcessResult archive(const std::string& source, const std::string& zip, int seconds) {
  return runArchiver({"-c", "-k", "--keepParent", source, zip}, seconds);
}

pid_t startArchiver(const std::string& source, const std::string& zip,
                    const std::vector<std::string>& wrapper) {
  std::vector<std::string> argv = wrapper;
  argv.insert(argv.end(), {archiverExecutable(), "-c", "-k", "--keepParent", source, zip});
  return testsupport::startProcess(argv, {}, ".", "/dev/null", false);
}

ProcessResult runTool(const std::vector<std::string>& argv) {
  std::vector<std::string> full = argv;
  for (const char* folder : {"/usr/bin/", "/bin/"}) {
    if (fs::exists(folder + argv[0])) {
      full[0] = folder + argv[0];
      break;
    }
  }
  return testsupport::runProcess(full, toolEnvironment());
}

std::vector<ZipEntry> listEntries(const std::string& zip) {
  auto listed = runTool({"python3", "-c", kListScript, zip});
  EXPECT_EQ(listed.status, 0) << listed.err;
  std::vector<ZipEntry> entries;
  std::istringstream lines(listed.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string hex;
    ZipEntry entry;
    fields >> hex >> entry.mode >> entry.size >> entry.crc >> entry.flags >> entry.method >>
        entry.dateTime;
    entry.name = fromHex(hex);
    entries.push_back(entry);
  }
  return entries;
}

std::map<std::string, TreeItem> readTree(const std::string& root, const std::string& topName) {
  std::map<std::string, TreeItem> tree;
  struct stat info {};
  stat(root.c_str(), &info);
  tree[topName + "/"] = {info.st_mode, "", info.st_mtime};
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string path = it->path().string();
    std::string name = topName + path.substr(root.size());
    lstat(path.c_str(), &info);
    if (S_ISDIR(info.st_mode))
      tree[name + "/"] = {info.st_mode, "", info.st_mtime};
    else if (S_ISLNK(info.st_mode))
      tree[name] = {info.st_mode, fs::read_symlink(path).string(), info.st_mtime};
    else if (S_ISREG(info.st_mode))
      tree[name] = {info.st_mode, testsupport::readFile(path), info.st_mtime};
  }
  return tree;
}

void expectArchiveEqualsTree(const std::string& zip, const std::string& source,
                             const std::string& topName, const std::string& folder) {
  auto expected = readTree(source, topName);
  auto entries = listEntries(zip);
  std::map<std::string, ZipEntry> listed;
  for (const auto& entry : entries) listed[entry.name] = entry;
  EXPECT_EQ(listed.size(), entries.size()) << "an entry is listed twice";
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [name, item] : expected) {
    ASSERT_TRUE(listed.count(name)) << name;
    const ZipEntry& entry = listed[name];
    EXPECT_EQ(entry.mode, item.mode) << name;
    EXPECT_EQ(entry.size, item.content.size()) << name;
    auto crc = crc32(0, reinterpret_cast<const Bytef*>(item.content.data()),
                     static_cast<uInt>(item.content.size()));
    EXPECT_EQ(entry.crc, crc) << name;
  }
  auto tested = runTool({"unzip", "-t", "-q", zip});
  EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
  auto extracted = runTool({"unzip", "-q", "-o", zip, "-d", folder});
  ASSERT_EQ(extracted.status, 0) << extracted.out << extracted.err;
  auto got = readTree(folder + "/" + topName, topName);
  ASSERT_EQ(got.size(), expected.size());
  for (const auto& [name, item] : expected) {
    ASSERT_TRUE(got.count(name)) << name;
    EXPECT_EQ(got[name].mode, item.mode) << name;
    EXPECT_TRUE(got[name].content == item.content) << name << ": content differs";
    if (S_ISREG(item.mode)) {
      EXPECT_EQ(got[name].mtime, item.mtime) << name;
    }
  }
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string dwarfLikeBytes(size_t length, uint64_t seed) {
  std::vector<uint64_t> vocabulary(512);
  uint64_t state = seed | 1;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (auto& word : vocabulary) word = next();
  std::string out;
  out.reserve(length + 8);
  while (out.size() < length) {
    uint64_t pick = next();
    uint64_t word = pick % 4 == 0 ? pick : vocabulary[pick % vocabulary.size()];
    out.append(reinterpret_cast<const char*>(&word), sizeof word);
  }
  out.resize(length);
  return out;
}

}  // namespace archivertest
