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
    for (std::size_t at = text_.find('<'); at != std::string_view::npos && !refused_;
         at = text_.find('<', at)) {
      at = step(at);
    }
    return !refused_;
  }

 private:
  // Handles the markup at `at` (a '<'); returns where scanning goes on.
  std::size_t step(std::size_t at) {
    std::string_view rest = text_.substr(at);
    if (rest.starts_with("<!--")) return skipRegion(at, 4, "-->", Quotes::kPlain);
    if (rest.starts_with("<![CDATA[")) return skipRegion(at, 9, "]]>", Quotes::kPlain);
    if (rest.starts_with("<?")) return skipRegion(at, 2, "?>", Quotes::kPaired);
    if (rest.starts_with("<!")) return skipDeclaration(at);
    std::size_t end = text_.find('>', at);
    if (end == std::string_view::npos) return end;
    std::string_view tag = text_.substr(at, end + 1 - at);
    refuseUnpairedQuotes(tag);
    if (rest.starts_with("</")) {
      if (depth_ > 0) --depth_;
    } else if (!isPlainEmptyElement(tag)) {
      open(1);
    }
    return end + 1;
  }

  // How the parser reads double quotes in a region: as plain text (comments,
  // CDATA), or as quoting that hides the region's terminator (tags,
  // processing instructions, declarations). In the latter the scan refuses
  // quotes that do not pair up before the first terminator, so that it ends
  // every region exactly where the parser does.
  enum class Quotes { kPlain, kPaired };

  // A declaration such as <!DOCTYPE ...> ends at its first '>'. One with an
  // internal subset ("[ ... ]>") is refused: the parser skips the subset
  // whole, tags and all, so its end is not the first '>'.
  std::size_t skipDeclaration(std::size_t at) {
    std::size_t end = skipRegion(at, 2, ">", Quotes::kPaired);
    std::string_view declaration = text_.substr(at, end == std::string_view::npos ? end : end - at);
    if (declaration.find('[') != std::string_view::npos) refused_ = true;
    return end;
  }

  void refuseUnpairedQuotes(std::string_view markup) {
    if (std::count(markup.begin(), markup.end(), '"') % 2 != 0) refused_ = true;
  }

  // Skips a region that holds no markup of its own, counting every tag that
  // seems to open inside it, in case the parser reads it otherwise.
  std::size_t skipRegion(std::size_t at, std::size_t opener, std::string_view terminator,
                         Quotes quotes) {
    std::size_t end = text_.find(terminator, at + opener);
    std::string_view inside = text_.substr(
        at + opener, end == std::string_view::npos ? std::string_view::npos : end - at - opener);
    if (quotes == Quotes::kPaired) refuseUnpairedQuotes(inside);
    for (std::size_t i = inside.find('<'); i != std::string_view::npos; i = inside.find('<', i + 1))
      if (i + 1 < inside.size() && isLetter(inside[i + 1])) open(1);
    return end == std::string_view::npos ? end : end + terminator.size();
  }

  void open(std::size_t levels) {
    depth_ += levels;
    if (depth_ > kMaximumElementDepth) refused_ = true;
  }

  std::string_view text_;
  std::size_t depth_ = 0;
  bool refused_ = false;
};

}  // namespace

bool xmlPropertyListIsWithinBounds(const Bytes& data) {
  return NestingScan(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()))
      .withinBounds();
}

}  // namespace platform
