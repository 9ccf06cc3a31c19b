#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

// Debian's nginx as a TLS reverse proxy on a free port of 127.0.0.1, in
// front of a plain HTTP server on 127.0.0.1. Its configuration, pid file,
// temporary folders and logs lie in a folder of its own; its certificate is
// signed by a private CA made for it. It runs in the foreground as a child
// of the test, and is stopped and waited for at the end (and stopped too
// should the test die first).
class NginxProxy {
 public:
  struct Options {
    bool http2 = false;                 // HTTP/2 on the TLS listener
    std::string maxBodySize = "1024m";  // client_max_body_size
  };

  // Whether nginx is installed (scripts/install-deps.sh installs it).
  static bool available();

  NginxProxy(int upstreamPort, const Options& options);
  ~NginxProxy();
  NginxProxy(const NginxProxy&) = delete;
  NginxProxy& operator=(const NginxProxy&) = delete;

  // Empty when it runs; otherwise why it does not.
  const std::string& failure() const { return failure_; }
  // "https://127.0.0.1:PORT".
  std::string baseURL() const { return "https://127.0.0.1:" + std::to_string(port_); }
  // The PEM file of the private CA, to be named by SSL_CERT_FILE.
  std::string certificateAuthority() const { return dir_ / "ca.pem"; }
  // The access log so far.
  std::string accessLog() const { return readFile(dir_ / "access.log"); }

 private:
  bool makeCertificates();
  void writeConfiguration(int upstreamPort, const Options& options) const;
  bool start();

  TempDir dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  std::string failure_;
};

}  // namespace testsupport
