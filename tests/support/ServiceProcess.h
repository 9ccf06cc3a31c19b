#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/Value.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

// The path of the built web service stand-in.
inline std::string serviceExecutable() {
  return binaryRoot() + "/stand-ins/service/quorvex-service";
}

// The web service stand-in, running on 127.0.0.1 for one test with a data
// folder of its own; stopped (SIGTERM) and waited for at the end.
class ServiceProcess {
 public:
  // Starts it with these options (besides --data and --port 0) and waits
  // for the port it prints.
  explicit ServiceProcess(const std::vector<std::string>& options = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // "http://127.0.0.1:PORT" (https with a certificate option).
  std::string baseURL() const;
  const std::string& dataFolder() const { return data_.path(); }
  // The stored request records in arrival order; only those of KIND
  // ("notification", "upload", "unexpected") when given.
  std::vector<platform::Value> records(const std::string& kind = "") const;
  // The same without requests whose body was cut off (a zip sent while it
  // was made, whose sender gave up): what the service could take.
  std::vector<platform::Value> wholeRecords(const std::string& kind = "") const;
  // The path of a file in the data folder.
  std::string dataFile(const std::string& name) const { return data_ / name; }

 private:
  TempDir data_;
  pid_t pid_ = -1;
  int port_ = 0;
  bool https_ = false;
};

}  // namespace testsupport
