#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/PropertyListBounds.h"

namespace platform {

namespace {

// The <plist> element and a leaf element below the deepest container.
constexpr std::size_t kMaximumElementDepth = kPropertyListMaximumNesting + 2;

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == ':';
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "<name/>" or "<name />": an element that opens nothing.
bool isPlainEmptyElement(std::string_view tag) {
  if (tag.size() < 4 || tag.substr(tag.size() - 2) != "/>") return false;
  std::string_view inner = tag.substr(1, tag.size() - 3);
  while (!inner.empty() && (inner.back() == ' ' || inner.back() == '\t')) inner.remove_suffix(1);
  return !inner.empty() && std::all_of(inner.begin(), inner.end(), isNameCharacter);
}

class NestingScan {
 public:
  explicit NestingScan(std::string_view text) : text_(text) {}

  bool withinBounds() {
    for (std::size_t at = text_.find('<'); at != std::string_view::npos && !tooDeep_;
         at = text_.find('<', at)) {
      at = step(at);
    }
    return !tooDeep_;
  }

 private:
  // Handles the markup at `at` (a '<'); returns where scanning goes on.
  std::size_t step(std::size_t at) {
    std::string_view rest = text_.substr(at);
    if (rest.starts_with("<!--")) return skipRegion(at, 4, "-->");
    if (rest.starts_with("<![CDATA[")) return skipRegion(at, 9, "]]>");
    if (rest.starts_with("<?")) return skipRegion(at, 2, "?>");
    if (rest.starts_with("<!")) return skipRegion(at, 2, ">");
    std::size_t end = text_.find('>', at);
    if (end == std::string_view::npos) return end;
    if (rest.starts_with("</")) {
      if (depth_ > 0) --depth_;
    } else if (!isPlainEmptyElement(text_.substr(at, end + 1 - at))) {
      open(1);
    }
    return end + 1;
  }

  // Skips a region that holds no markup of its own, counting every tag that
  // seems to open inside it, in case the parser reads it otherwise.
  std::size_t skipRegion(std::size_t at, std::size_t opener, std::string_view terminator) {
    std::size_t end = text_.find(terminator, at + opener);
    std::string_view inside = text_.substr(
        at + opener, end == std::string_view::npos ? std::string_view::npos : end - at - opener);
    for (std::size_t i = inside.find('<'); i != std::string_view::npos; i = inside.find('<', i + 1))
      if (i + 1 < inside.size() && isLetter(inside[i + 1])) open(1);
    return end == std::string_view::npos ? end : end + terminator.size();
  }

  void open(std::size_t levels) {
    depth_ += levels;
    if (depth_ > kMaximumElementDepth) tooDeep_ = true;
  }

  std::string_view text_;
  std::size_t depth_ = 0;
  bool tooDeep_ = false;
};

}  // namespace

bool xmlPropertyListIsWithinBounds(const Bytes& data) {
  return NestingScan(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()))
      .withinBounds();
}

}  // namespace platform
