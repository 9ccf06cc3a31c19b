#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

// For its lifetime the calling thread is held to file permissions like any
// user, root included: the capabilities that let root ignore them leave its
// effective set, and come back at the end of the scope.
class PermissionsHeeded {
 public:
  PermissionsHeeded() {
    syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct heeding[2] = {saved_[0], saved_[1]};
    heeding[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    syscall(SYS_capset, &header_, heeding);
  }
  ~PermissionsHeeded() { syscall(SYS_capset, &header_, saved_); }
  PermissionsHeeded(const PermissionsHeeded&) = delete;
  PermissionsHeeded& operator=(const PermissionsHeeded&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
};

}  // namespace testsupport
