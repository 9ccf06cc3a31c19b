#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An absolute URL, parsed and kept in the normal form of curl's URL API
// (scheme and host in lower case, an empty path written as "/").
class URL {
 public:
  // Parses an absolute URL text; nothing when the text is no absolute URL
  // (relative reference, spaces or control characters, malformed authority).
  static std::optional<URL> URLWithString(std::string_view text);

  // Resolves a reference against a base URL the way a browser resolves a
  // link: "/a" replaces the base's path, "a" replaces its last segment,
  // "?q" its query, and an absolute URL stands alone. Nothing when the
  // reference is malformed.
  static std::optional<URL> URLWithString_relativeToURL(std::string_view text, const URL& base);

  // The whole URL as text.
  const std::string& absoluteString() const { return text_; }

  // The path with percent escapes decoded and a trailing "/" dropped (the
  // root stays "/"), not resolved against anything.
  std::string relativePath() const;

  // The scheme in lower case ("http", "https").
  std::string scheme() const;

  // The host as written in the URL (an IPv6 address keeps its brackets).
  std::string host() const;

  // The port written in the URL, else the scheme's default port; 0 when unknown.
  int port() const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}

  std::string text_;
};

}  // namespace platform
