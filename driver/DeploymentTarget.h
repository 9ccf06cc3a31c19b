#pragma once

#include <memory>

#include "macho/QVXMachOBinary.h"
#include "macho/QVXMachOSlice.h"
#include "platform/Environment.h"

// Opens the built executable (BUILT_PRODUCTS_DIR "/" EXECUTABLE_PATH, parsed
// as a URL) and stops the run when any slice targets a system older than
// the tool supports: iOS 5.0 when TARGETED_DEVICE_FAMILY is present, OS X
// 10.7 otherwise. Returns the executable object, or nullptr when the
// executable cannot be opened (the check then passes).
std::shared_ptr<QVXMachOBinary> checkDeploymentTarget(const platform::Environment& environment);

// Whether an iOS deployment minimum is older than iOS 5; a minimum of major
// 0 (no version command) is judged by IPHONEOS_DEPLOYMENT_TARGET instead.
bool iOSDeploymentTargetIsUnsupported(QVXMachOVersion minimum,
                                      const platform::Environment& environment);

// Whether an OS X deployment minimum is older than 10.7; 0.0.0 (no version
// command) is.
bool OSXDeploymentTargetIsUnsupported(QVXMachOVersion minimum);
