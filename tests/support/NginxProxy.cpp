#include "tests/support/NginxProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

const char* const kNginx = "/usr/sbin/nginx";

// A port of 127.0.0.1 that was free a moment ago.
int freePort() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return connected;
}

}  // namespace

bool NginxProxy::available() { return access(kNginx, X_OK) == 0; }

NginxProxy::NginxProxy(int upstreamPort, const Options& options) {
  if (!makeCertificates()) return;
  for (int attempt = 0; attempt < 3 && pid_ < 0; ++attempt) {
    port_ = freePort();  // taken by someone else meanwhile: another one
    writeConfiguration(upstreamPort, options);
    if (start()) failure_.clear();
  }
}

NginxProxy::~NginxProxy() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);  // the master stops its worker and waits for it
  waitpid(pid_, nullptr, 0);
}

bool NginxProxy::makeCertificates() {
  const std::map<std::string, std::string> path = {{"PATH", "/usr/bin:/bin"}};
  const std::string ssl = "/usr/bin/openssl";
  ProcessResult ca =
      runProcess({ssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir_ / "ca.key",
                  "-out", dir_ / "ca.pem", "-days", "2", "-subj", "/CN=run test CA"},
                 path);
  ProcessResult server = runProcess({ssl,        "req",
                                     "-x509",    "-newkey",
                                     "rsa:2048", "-nodes",
                                     "-keyout",  dir_ / "server.key",
                                     "-out",     dir_ / "server.pem",
                                     "-days",    "2",
                                     "-subj",    "/CN=127.0.0.1",
                                     "-addext",  "subjectAltName=IP:127.0.0.1",
                                     "-addext",  "basicConstraints=critical,CA:FALSE",
                                     "-CA",      dir_ / "ca.pem",
                                     "-CAkey",   dir_ / "ca.key"},
                                    path);
  if (ca.status == 0 && server.status == 0) return true;
  failure_ = "openssl could not make the certificates: " + ca.err + server.err;
  return false;
}

void NginxProxy::writeConfiguration(int upstreamPort, const Options& options) const {
  const std::string& d = dir_.path();
  std::string listen =
      "127.0.0.1:" + std::to_string(port_) + (options.http2 ? " ssl http2" : " ssl");
  writeFile(dir_ / "nginx.conf",
            // As root, the worker stays root too, so that it may use the folder.
            std::string(geteuid() == 0 ? "user root;\n" : "") +
                "daemon off;\nmaster_process on;\nworker_processes 1;\n"
                "pid " +
                d + "/nginx.pid;\nerror_log " + d +
                "/error.log;\n"
                "events { worker_connections 64; }\n"
                "http {\n"
                "  access_log " +
                d +
                "/access.log;\n"
                "  client_body_temp_path " +
                d + "/body;\n  proxy_temp_path " + d +
                "/proxy;\n"
                "  fastcgi_temp_path " +
                d + "/fastcgi;\n  uwsgi_temp_path " + d +
                "/uwsgi;\n"
                "  scgi_temp_path " +
                d +
                "/scgi;\n"
                "  client_max_body_size " +
                options.maxBodySize +
                ";\n"
                "  server {\n"
                "    listen " +
                listen +
                ";\n"
                "    ssl_certificate " +
                d +
                "/server.pem;\n"
                "    ssl_certificate_key " +
                d +
                "/server.key;\n"
                "    location / {\n"
                "      proxy_pass http://127.0.0.1:" +
                std::to_string(upstreamPort) +
                ";\n"
                "      proxy_http_version 1.1;\n"
                "    }\n"
                "  }\n"
                "}\n");
}

// Starts nginx and waits until it accepts connections; false, with the
// reason in failure_, when it ends first or takes more than 20 seconds.
bool NginxProxy::start() {
  std::vector<std::string> argv = {
      kNginx, "-p", dir_.path(), "-c", dir_ / "nginx.conf", "-e", dir_ / "error.log"};
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    execv(kNginx, args.data());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      failure_ = "nginx ended at its start: " + readFile(dir_ / "error.log");
      return false;
    }
    if (accepts(port_)) {
      pid_ = pid;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  failure_ = "nginx did not accept connections within 20 seconds";
  return false;
}

}  // namespace testsupport
