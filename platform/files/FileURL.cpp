#include "platform/files/FileURL.h"

#include <cctype>
#include <cstring>

namespace platform {

namespace {

bool isUnreservedOrSubDelimiter(unsigned char c) {
  return std::isalnum(c) || std::strchr("-._~!$&'()*+,;=", c) != nullptr;
}

// The characters a URL holds unescaped: unreserved, sub-delimiters and the
// general delimiters : / ? # [ ] @.
bool isURLCharacter(unsigned char c) {
  return c != 0 && (isUnreservedOrSubDelimiter(c) || std::strchr(":/?#[]@", c) != nullptr);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hasOnlyURLCharacters(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0)
        return false;
      i += 2;
    } else if (!isURLCharacter(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  return true;
}

// Decodes percent escapes; nothing when one decodes to NUL.
std::optional<std::string> percentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      char c = static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      if (c == 0) return std::nullopt;
      out += c;
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The length of a leading "scheme:", or 0 when the text has none.
size_t schemeLength(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ':') return i;
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

// The path of a hierarchical reference: after an authority ("//host"),
// before any query or fragment.
std::string_view pathOfReference(std::string_view reference) {
  reference = reference.substr(0, reference.find_first_of("?#"));
  if (reference.substr(0, 2) == "//") {
    size_t slash = reference.find('/', 2);
    return slash == std::string_view::npos ? std::string_view() : reference.substr(slash);
  }
  return reference;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

FileURL FileURL::fileURLWithPath(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string text = "file://";
  for (unsigned char c : path) {
    if (isUnreservedOrSubDelimiter(c) || c == '/' || c == ':' || c == '@') {
      text += static_cast<char>(c);
    } else {
      text += '%';
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return FileURL(std::move(text), path.empty() ? std::nullopt : std::optional<std::string>(path));
}

std::optional<FileURL> FileURL::URLWithString(std::string_view text) {
  if (!hasOnlyURLCharacters(text)) return std::nullopt;
  size_t scheme = schemeLength(text);
  std::optional<std::string> path;
  if (scheme == 0 || equalsIgnoringCase(text.substr(0, scheme), "file")) {
    std::string_view reference = scheme == 0 ? text : text.substr(scheme + 1);
    path = percentDecoded(pathOfReference(reference));
    if (path && path->empty()) path.reset();
  }
  return FileURL(std::string(text), std::move(path));
}

}  // namespace platform
