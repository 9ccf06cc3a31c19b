#pragma once

#include <optional>
#include <string>

namespace platform {

// The peer a TLS connection is about to trust: its host and port.
struct ServerTrust {
  std::string host;
  int port = 0;
};

// Authentication methods a protection space may name.
inline constexpr const char* kAuthenticationMethodServerTrust = "ServerTrust";
inline constexpr const char* kAuthenticationMethodHTTPBasic = "HTTPBasic";
inline constexpr const char* kAuthenticationMethodHTTPDigest = "HTTPDigest";
inline constexpr const char* kAuthenticationMethodDefault = "Default";

// Where the transport would authenticate: a TLS server-trust space (with a
// server trust) or a password space of a server or proxy (without one).
struct ProtectionSpace {
  std::string host;
  int port = 0;
  std::string protocol;  // "http" or "https"
  std::optional<std::string> realm;
  std::string authenticationMethod;
  bool isProxy = false;
  std::optional<ServerTrust> serverTrust;
};

}  // namespace platform
