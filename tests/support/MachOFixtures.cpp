#include "tests/support/MachOFixtures.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include "tests/macho/MachOBuilder.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

namespace {

const char* const kClang = "/usr/bin/clang-14";
const char* const kLinker = "/usr/bin/ld64.lld-14";
const char* const kLipo = "/usr/bin/llvm-lipo-14";
const char* const kDsymutil = "/usr/bin/dsymutil-14";
const char* const kDwarfdump = "/usr/bin/llvm-dwarfdump-14";
const char* const kObjdump = "/usr/bin/llvm-objdump-14";

// Runs one tool and throws with its output when it fails.
ProcessResult runTool(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& environment = {
                          {"PATH", "/usr/bin:/bin"}}) {
  ProcessResult result = runProcess(argv, environment);
  if (result.status != 0) {
    std::string command;
    for (const auto& word : argv) command += word + " ";
    throw std::runtime_error(command + "failed (" + std::to_string(result.status) +
                             "): " + result.err + result.out);
  }
  return result;
}

std::string clangTriple(const MachOTarget& target) {
  switch (target.platform) {
    case ApplePlatform::macOS:
      return target.architecture + "-apple-macos" + target.minimumVersion;
    case ApplePlatform::iOS:
      return target.architecture + "-apple-ios" + target.minimumVersion;
    case ApplePlatform::iOSSimulator:
      return target.architecture + "-apple-ios" + target.minimumVersion + "-simulator";
    case ApplePlatform::watchOS:
      return target.architecture + "-apple-watchos" + target.minimumVersion;
  }
  return "";
}

std::string linkerPlatform(ApplePlatform platform) {
  switch (platform) {
    case ApplePlatform::macOS:
      return "macos";
    case ApplePlatform::iOS:
      return "ios";
    case ApplePlatform::iOSSimulator:
      return "ios-simulator";
    case ApplePlatform::watchOS:
      return "watchos";
  }
  return "";
}

int majorVersion(const std::string& version) { return std::atoi(version.c_str()); }

// An SDK version no older than the minimum, as a real build would link against.
std::string sdkVersion(const MachOTarget& target) {
  if (!target.sdkVersion.empty()) return target.sdkVersion;
  std::string fallback = target.platform == ApplePlatform::macOS     ? "11.0"
                         : target.platform == ApplePlatform::watchOS ? "7.0"
                                                                     : "14.0";
  return majorVersion(target.minimumVersion) > majorVersion(fallback) ? target.minimumVersion
                                                                      : fallback;
}

std::string identifierFrom(const std::string& name) {
  std::string identifier = "fixture_";
  for (char c : name) identifier += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return identifier;
}

std::vector<char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::uint32_t hostWord(const std::vector<char>& bytes, std::size_t offset) {
  if (offset + 4 > bytes.size()) throw std::runtime_error("Mach-O file too short");
  std::uint32_t word;
  std::memcpy(&word, bytes.data() + offset, 4);
  return word;
}

void setHostWord(std::vector<char>& bytes, std::size_t offset, std::uint32_t word) {
  std::memcpy(bytes.data() + offset, &word, 4);
}

std::uint32_t bigEndianWord(const std::vector<char>& bytes, std::size_t offset) {
  std::uint32_t host = hostWord(bytes, offset);
  return __builtin_bswap32(host);
}

// A 4 KB DWARF slice stored big-endian whose __DWARF segment covers it
// whole: read in the host's order, the segment would run far past it.
machobuilder::Bytes bigEndianDWARFSlice(std::uint32_t magic, std::int32_t cputype,
                                        const machobuilder::UUIDBytes& uuid) {
  constexpr std::uint64_t kSize = 0x1000;
  machobuilder::Bytes bytes =
      machobuilder::MachOImage(magic, cputype, machofile::CPU_SUBTYPE_POWERPC_ALL,
                               machofile::MH_DSYM)
          .segment("__DWARF", {}, {0, kSize})
          .uuid(uuid)
          .bytes();
  bytes.resize(kSize);
  return bytes;
}

bool isVersionCommand(std::uint32_t command) {
  return command == 0x24 || command == 0x25 || command == 0x2f || command == 0x30 ||
         command == 0x32;
}

// Removes the chosen load commands of the thin Mach-O image at sliceOffset.
void removeCommandsOfSlice(std::vector<char>& bytes, std::size_t sliceOffset,
                           bool (*removes)(std::uint32_t command)) {
  std::uint32_t magic = hostWord(bytes, sliceOffset);
  std::size_t headerSize = magic == 0xfeedfacf ? 32 : magic == 0xfeedface ? 28 : 0;
  if (headerSize == 0) throw std::runtime_error("not a little-endian Mach-O slice");
  std::uint32_t count = hostWord(bytes, sliceOffset + 16);
  std::uint32_t totalSize = hostWord(bytes, sliceOffset + 20);
  std::size_t commandsStart = sliceOffset + headerSize;
  std::size_t commandsEnd = commandsStart + totalSize;
  std::size_t offset = commandsStart;
  std::uint32_t removed = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t command = hostWord(bytes, offset);
    std::uint32_t size = hostWord(bytes, offset + 4);
    if (size < 8 || offset + size > commandsEnd) throw std::runtime_error("bad load command");
    if (!removes(command)) {
      offset += size;
      continue;
    }
    std::copy(bytes.begin() + static_cast<long>(offset + size),
              bytes.begin() + static_cast<long>(commandsEnd),
              bytes.begin() + static_cast<long>(offset));
    std::fill(bytes.begin() + static_cast<long>(commandsEnd - size),
              bytes.begin() + static_cast<long>(commandsEnd), 0);
    commandsEnd -= size;
    totalSize -= size;
    ++removed;
  }
  setHostWord(bytes, sliceOffset + 16, count - removed);
  setHostWord(bytes, sliceOffset + 20, totalSize);
}

// A copy of a thin or 32-bit fat file without the chosen load commands.
std::string writeWithoutCommands(const std::string& sourcePath, const std::string& outputPath,
                                 bool (*removes)(std::uint32_t command)) {
  std::vector<char> bytes = readBytes(sourcePath);
  std::uint32_t magic = hostWord(bytes, 0);
  if (magic == 0xbebafeca) {
    std::uint32_t count = bigEndianWord(bytes, 4);
    for (std::uint32_t i = 0; i < count; ++i)
      removeCommandsOfSlice(bytes, bigEndianWord(bytes, 8 + 20 * i + 8), removes);
  } else {
    removeCommandsOfSlice(bytes, 0, removes);
  }
  writeBytes(outputPath, bytes);
  return outputPath;
}

// "4C4C4415-5555-..." as "4c4c44155555...".
std::string compactUUID(const std::string& canonical) {
  std::string compact;
  for (char c : canonical)
    if (c != '-') compact += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return compact;
}

// Compiles the small program named after NAME and links it with the
// linker arguments that say what it becomes.
std::string buildThin(const std::string& folder, const std::string& name, const MachOTarget& target,
                      const std::vector<std::string>& kind) {
  const std::string objects = folder + "/.objects";
  makeDirectories(objects);
  const std::string identifier = identifierFrom(name);
  const std::string source = objects + "/" + name + ".c";
  const std::string object = objects + "/" + name + ".o";
  const std::string output = folder + "/" + name;
  writeFile(source,
            "int " + identifier + " = 1;\nint main(void) { return " + identifier + " - 1; }\n");
  runTool({kClang, "-target", clangTriple(target), "-g", "-O0", "-c", source, "-o", object});
  std::vector<std::string> link = kind;
  link.insert(link.begin(),
              {kLinker, "-arch", target.architecture, "-platform_version",
               linkerPlatform(target.platform), target.minimumVersion, sdkVersion(target)});
  link.insert(link.end(), {object, "-o", output});
  runTool(link);
  return output;
}

}  // namespace

std::string buildThinExecutable(const std::string& folder, const std::string& name,
                                const MachOTarget& target) {
  return buildThin(folder, name, target, {"-e", "_main"});
}

std::string buildThinDylib(const std::string& folder, const std::string& name,
                           const MachOTarget& target) {
  return buildThin(folder, name, target, {"-dylib", "-install_name", "@rpath/" + name});
}

std::string buildiOSExecutable(const std::string& folder, const std::string& name,
                               const std::string& minimumVersion) {
  return buildThinExecutable(folder, name, {"arm64", ApplePlatform::iOS, minimumVersion, ""});
}

std::string buildMacOSExecutable(const std::string& folder, const std::string& name,
                                 const std::string& minimumVersion) {
  return buildThinExecutable(folder, name, {"x86_64", ApplePlatform::macOS, minimumVersion, ""});
}

std::string buildiOSSimulatorExecutable(const std::string& folder, const std::string& name,
                                        const std::string& minimumVersion) {
  return buildThinExecutable(folder, name,
                             {"x86_64", ApplePlatform::iOSSimulator, minimumVersion, ""});
}

std::string buildWatchOSExecutable(const std::string& folder, const std::string& name,
                                   const std::string& minimumVersion) {
  return buildThinExecutable(folder, name,
                             {"arm64_32", ApplePlatform::watchOS, minimumVersion, ""});
}

std::string buildFatFile(const std::string& outputPath, const std::vector<std::string>& thinPaths) {
  std::vector<std::string> argv = {kLipo, "-create"};
  argv.insert(argv.end(), thinPaths.begin(), thinPaths.end());
  argv.insert(argv.end(), {"-output", outputPath});
  runTool(argv);
  return outputPath;
}

std::string buildDSYM(const std::string& executablePath, const std::string& dsymPath) {
  const std::string tools =
      std::filesystem::path(executablePath).parent_path().string() + "/.objects/bin";
  makeDirectories(tools);
  std::error_code ignored;
  std::filesystem::create_symlink(kLipo, tools + "/lipo", ignored);
  runTool({kDsymutil, executablePath, "-o", dsymPath}, {{"PATH", tools + ":/usr/bin:/bin"}});
  return dsymPath + "/Contents/Resources/DWARF/" +
         std::filesystem::path(executablePath).filename().string();
}

std::string writeWithoutVersionCommands(const std::string& sourcePath,
                                        const std::string& outputPath) {
  return writeWithoutCommands(sourcePath, outputPath, isVersionCommand);
}

std::string writeWithoutUUIDCommand(const std::string& sourcePath, const std::string& outputPath) {
  return writeWithoutCommands(sourcePath, outputPath,
                              [](std::uint32_t command) { return command == 0x1b; });
}

void patchThinCPUSubtype(const std::string& path, std::uint32_t cpusubtype) {
  std::vector<char> bytes = readBytes(path);
  std::uint32_t magic = hostWord(bytes, 0);
  if (magic != 0xfeedfacf && magic != 0xfeedface)
    throw std::runtime_error(path + " is not a thin little-endian Mach-O file");
  setHostWord(bytes, 8, cpusubtype);
  writeBytes(path, bytes);
}

std::string writeWithFatEntriesSwapped(const std::string& sourcePath, const std::string& outputPath,
                                       std::size_t i, std::size_t j) {
  std::vector<char> bytes = readBytes(sourcePath);
  if (hostWord(bytes, 0) != 0xbebafeca) throw std::runtime_error(sourcePath + " is not fat");
  std::uint32_t count = bigEndianWord(bytes, 4);
  if (i >= count || j >= count) throw std::runtime_error("no such fat entry");
  std::swap_ranges(bytes.begin() + static_cast<long>(8 + 20 * i),
                   bytes.begin() + static_cast<long>(8 + 20 * (i + 1)),
                   bytes.begin() + static_cast<long>(8 + 20 * j));
  writeBytes(outputPath, bytes);
  return outputPath;
}

std::string writeAsFat64(const std::string& sourcePath, const std::string& outputPath) {
  std::vector<char> bytes = readBytes(sourcePath);
  if (hostWord(bytes, 0) != 0xbebafeca) throw std::runtime_error(sourcePath + " is not fat");
  const std::uint32_t count = bigEndianWord(bytes, 4);
  std::vector<char> table;
  std::uint64_t firstSlice = bytes.size();
  auto appendBigEndian = [&table](std::uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
      table.push_back(static_cast<char>((value >> shift) & 0xff));
  };
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t entry = 8 + 20 * k;
    const std::uint32_t offset = bigEndianWord(bytes, entry + 8);
    firstSlice = std::min<std::uint64_t>(firstSlice, offset);
    appendBigEndian(bigEndianWord(bytes, entry), 4);
    appendBigEndian(bigEndianWord(bytes, entry + 4), 4);
    appendBigEndian(offset, 8);
    appendBigEndian(bigEndianWord(bytes, entry + 12), 8);
    appendBigEndian(bigEndianWord(bytes, entry + 16), 4);
    appendBigEndian(0, 4);
  }
  if (8 + table.size() > firstSlice) throw std::runtime_error("no room for a 64-bit fat table");
  setHostWord(bytes, 0, 0xbfbafeca);
  std::fill(bytes.begin() + 8, bytes.begin() + static_cast<long>(firstSlice), 0);
  std::copy(table.begin(), table.end(), bytes.begin() + 8);
  writeBytes(outputPath, bytes);
  return outputPath;
}

std::string writeWithBigEndianSlices(const std::string& sourcePath, const std::string& outputPath) {
  const std::string ppc = outputPath + ".ppc", ppc64 = outputPath + ".ppc64";
  machobuilder::writeBytes(ppc,
                           bigEndianDWARFSlice(machofile::MH_CIGAM, machofile::CPU_TYPE_POWERPC,
                                               machobuilder::uuidFrom(0x40)));
  machobuilder::writeBytes(
      ppc64, bigEndianDWARFSlice(machofile::MH_CIGAM_64, machofile::CPU_TYPE_POWERPC64,
                                 machobuilder::uuidFrom(0x50)));
  buildFatFile(outputPath, {sourcePath, ppc, ppc64});
  std::filesystem::remove(ppc);
  std::filesystem::remove(ppc64);
  return outputPath;
}

void patchBuildVersion(const std::string& path, std::uint32_t platform, std::uint32_t minos) {
  std::vector<char> bytes = readBytes(path);
  if (hostWord(bytes, 0) != 0xfeedfacf && hostWord(bytes, 0) != 0xfeedface)
    throw std::runtime_error(path + " is not a thin little-endian Mach-O file");
  std::size_t offset = hostWord(bytes, 0) == 0xfeedfacf ? 32 : 28;
  bool patched = false;
  for (std::uint32_t k = 0, count = hostWord(bytes, 16); k < count; ++k) {
    if (hostWord(bytes, offset) == 0x32) {
      setHostWord(bytes, offset + 8, platform);
      setHostWord(bytes, offset + 12, minos);
      patched = true;
    }
    const std::uint32_t size = hostWord(bytes, offset + 4);
    if (size < 8) throw std::runtime_error("bad load command");
    offset += size;
  }
  if (!patched) throw std::runtime_error(path + " has no LC_BUILD_VERSION");
  writeBytes(path, bytes);
}

std::vector<UUIDAndArchitecture> dwarfdumpUUIDs(const std::string& path) {
  ProcessResult result = runTool({kDwarfdump, "--uuid", path});
  std::vector<UUIDAndArchitecture> pairs;
  std::istringstream lines(result.out);
  std::string line;
  // Each line reads "UUID: 4C4C4415-5555-3144-A155-A7264B60B640 (arm64) PATH".
  while (std::getline(lines, line)) {
    if (line.rfind("UUID: ", 0) != 0) continue;
    std::size_t open = line.find(" (", 6);
    std::size_t close = line.find(") ", open);
    if (open == std::string::npos || close == std::string::npos) continue;
    pairs.push_back(
        {compactUUID(line.substr(6, open - 6)), line.substr(open + 2, close - open - 2)});
  }
  return pairs;
}

std::string objdumpPrivateHeaders(const std::string& path) {
  return runTool({kObjdump, "--macho", "--private-headers", path}).out;
}

}  // namespace testsupport
