#include "driver/DeploymentTarget.h"

#include <string>

#include "console/Console.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

// The oldest systems the tool supports; the messages show the same numbers.
constexpr std::uint32_t kMinimumiOSMajorVersion = 5;
constexpr std::uint32_t kMinimumOSXMajorVersion = 10;
constexpr std::uint32_t kMinimumOSXMinorVersion = 7;

const char* const kUnsupportediOSReason =
    "We have detected that this build of %@ uses an unsupported OS Deployment Target. Brantle is "
    "only compatible with iOS %d.0 and greater. To use Brantle, you'll have to adjust your "
    "project's iOS Deployment Target.\n\n";
const char* const kUnsupportedOSXReason =
    "We have detected that this build of %@ uses an unsupported OS Deployment Target. Brantle is "
    "only compatible with OS X 10.%d and greater. To use Brantle, you'll have to adjust your "
    "project's Mac OS X Deployment Target.\n\n";

// The executable at the file path the two settings make, read as a path:
// spaces, "%" and any other byte mean themselves.
std::shared_ptr<QVXMachOBinary> openExecutable(const platform::Environment& environment) {
  std::string path =
      platform::format("%@/%@", platform::valueFor(environment, "BUILT_PRODUCTS_DIR"),
                       platform::valueFor(environment, "EXECUTABLE_PATH"));
  return QVXMachOBinary::MachOBinaryWithPath(path);
}

// Any value, even empty, of TARGETED_DEVICE_FAMILY selects the iOS rules.
bool usesiOSRules(const platform::Environment& environment) {
  return platform::valueFor(environment, "TARGETED_DEVICE_FAMILY").has_value();
}

// Whether a slice is unsupported; the walk stops at the first one. A slice
// that is not Mach-O (a damaged fat entry) states no minimum and is not judged.
bool hasUnsupportedSlice(const QVXMachOBinary* executable, bool iOSRules,
                         const platform::Environment& environment) {
  if (!executable) return false;
  for (const auto& slice : executable->slices()) {
    if (!slice->hasMachOHeader()) continue;
    QVXMachOVersion minimum = slice->minimumOSVersion();
    if (iOSRules ? iOSDeploymentTargetIsUnsupported(minimum, environment)
                 : OSXDeploymentTargetIsUnsupported(minimum))
      return true;
  }
  return false;
}

[[noreturn]] void failUnsupportedDeploymentTarget(bool iOSRules,
                                                  const platform::Environment& environment) {
  auto productName = platform::valueFor(environment, "PRODUCT_NAME");
  if (iOSRules)
    failWithTitleAndReason("Unsupported iOS Version",
                           platform::format(kUnsupportediOSReason, productName,
                                            static_cast<int>(kMinimumiOSMajorVersion)));
  failWithTitleAndReason("Unsupported OS X Version",
                         platform::format(kUnsupportedOSXReason, productName,
                                          static_cast<int>(kMinimumOSXMinorVersion)));
}

}  // namespace

bool iOSDeploymentTargetIsUnsupported(QVXMachOVersion minimum,
                                      const platform::Environment& environment) {
  if (minimum.major != 0) return minimum.major < kMinimumiOSMajorVersion;
  auto setting = platform::valueFor(environment, "IPHONEOS_DEPLOYMENT_TARGET");
  return platform::integerValue(setting.value_or("")) < kMinimumiOSMajorVersion;
}

bool OSXDeploymentTargetIsUnsupported(QVXMachOVersion minimum) {
  if (minimum.major != kMinimumOSXMajorVersion) return minimum.major < kMinimumOSXMajorVersion;
  return minimum.minor < kMinimumOSXMinorVersion;
}

std::shared_ptr<QVXMachOBinary> checkDeploymentTarget(const platform::Environment& environment) {
  std::shared_ptr<QVXMachOBinary> executable = openExecutable(environment);
  const bool iOSRules = usesiOSRules(environment);
  if (hasUnsupportedSlice(executable.get(), iOSRules, environment))
    failUnsupportedDeploymentTarget(iOSRules, environment);
  return executable;
}
