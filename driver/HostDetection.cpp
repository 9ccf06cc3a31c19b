#include "driver/HostDetection.h"

#include <algorithm>
#include <set>

#include "console/Console.h"
#include "platform/Text.h"
#include "platform/desktop/URLSchemeHandler.h"

namespace {

constexpr const char* kDesktopAppURL = "quorvex://xcode?";
constexpr std::int64_t kLastIncompatibleBundleVersion = 202;

// A record that may stand for the process asked about: its own id, and not
// started after the child that named it as parent (else the id was reused).
bool isCurrentRecord(const platform::ProcessRecord& record, int pid,
                     const std::optional<platform::ProcessRecord>& child) {
  if (record.pid != pid) return false;
  return !child || record.startTime <= child->startTime;
}

std::int64_t bundleVersionNumber(const platform::Value& info) {
  auto it = info.find("CFBundleVersion");
  if (it == info.end()) return 0;
  if (it->is_string()) return platform::integerValue(it->get_ref<const std::string&>());
  if (it->is_number_integer()) return it->get<std::int64_t>();
  if (it->is_number_float()) return static_cast<std::int64_t>(it->get<double>());
  return 0;
}

}  // namespace

std::vector<std::string> ancestryCommandNames(int pid, const ProcessRecordQuery& query) {
  std::vector<std::string> names;
  std::set<int> visited;
  std::optional<platform::ProcessRecord> child;
  while (visited.insert(pid).second) {
    auto record = query(pid);
    if (!record || !isCurrentRecord(*record, pid, child)) break;
    if (platform::isValidUTF8(record->commandName)) names.push_back(record->commandName);
    if (static_cast<unsigned>(record->pid) < 2) break;
    pid = record->parentPid;
    child = std::move(record);
  }
  return names;
}

bool isProcessNameInHierarchy(const std::string& name) {
  auto names = ancestryCommandNames(platform::currentProcessId(), platform::processRecord);
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool isXcodeInProcessHierarchy() {
  bool result = isProcessNameInHierarchy("Xcode");
  if (debugMode) QVXLog("Run script build phase called from Xcode.app %i", result ? 1 : 0);
  return result;
}

bool isBotsDaemonInProcessHierarchy() {
  bool result = isProcessNameInHierarchy("xcsbuildd");
  if (debugMode) QVXLog("Run script build phase called from Xcode Bots %i", result ? 1 : 0);
  return result;
}

bool isQuorvexInstalled() {
  auto application = platform::applicationURLForURL(kDesktopAppURL);
  if (!application) return false;
  if (debugMode) QVXLog("Install path %@", *application);
  return true;
}

bool isQuorvexBuildPlistCompatible() {
  auto application = platform::applicationURLForURL(kDesktopAppURL);
  if (!application) return false;
  auto info = platform::applicationInfoDictionary(*application);
  if (!info) return false;
  return bundleVersionNumber(*info) > kLastIncompatibleBundleVersion;
}
