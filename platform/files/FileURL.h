#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A URL as the file-system uses of the tool need it: made from a path, or
// parsed from a URL text without scheme or with the "file" scheme. Other
// absolute URLs parse but name no file.
class FileURL {
 public:
  // A "file://" URL for the path, escaped where a URL may not hold a character.
  static FileURL fileURLWithPath(const std::string& path);

  // Parses a URL text; nothing when it holds a character a URL may not
  // hold unescaped (space, control, non-ASCII, quote, braces, backslash,
  // ...) or a "%" not followed by two hexadecimal digits.
  static std::optional<FileURL> URLWithString(std::string_view text);

  // The URL as text.
  const std::string& absoluteString() const { return text_; }

  // The file-system path with percent escapes decoded; nothing for a URL of
  // another scheme, an empty path, or a path that decodes to a NUL byte.
  const std::optional<std::string>& path() const { return path_; }

  bool operator==(const FileURL& other) const { return text_ == other.text_; }

 private:
  FileURL(std::string text, std::optional<std::string> path)
      : text_(std::move(text)), path_(std::move(path)) {}

  std::string text_;
  std::optional<std::string> path_;
};

}  // namespace platform
