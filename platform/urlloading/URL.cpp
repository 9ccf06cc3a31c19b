#include "platform/urlloading/URL.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace platform {

namespace {

struct URLHandleFree {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using URLHandle = std::unique_ptr<CURLU, URLHandleFree>;

// Copies a part curl hands out and frees curl's copy; nothing when missing.
std::optional<std::string> takePart(CURLU* handle, CURLUPart part, unsigned flags) {
  char* text = nullptr;
  if (curl_url_get(handle, part, &text, flags) != CURLUE_OK || !text) return std::nullopt;
  std::string copy(text);
  curl_free(text);
  return copy;
}

// Parses absolute URL text into a fresh handle; null when malformed.
URLHandle parseAbsolute(std::string_view text) {
  // curl reads C strings: an embedded NUL would cut the text short unseen.
  if (text.find('\0') != std::string_view::npos) return nullptr;
  URLHandle handle(curl_url());
  if (!handle) return nullptr;
  if (curl_url_set(handle.get(), CURLUPART_URL, std::string(text).c_str(),
                   CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return nullptr;
  }
  return handle;
}

}  // namespace

std::optional<URL> URL::URLWithString(std::string_view text) {
  URLHandle handle = parseAbsolute(text);
  if (!handle) return std::nullopt;
  std::optional<std::string> whole = takePart(handle.get(), CURLUPART_URL, 0);
  if (!whole) return std::nullopt;
  return URL(std::move(*whole));
}

std::optional<URL> URL::URLWithString_relativeToURL(std::string_view text, const URL& base) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  URLHandle handle = parseAbsolute(base.text_);
  if (!handle) return std::nullopt;
  if (curl_url_set(handle.get(), CURLUPART_URL, std::string(text).c_str(),
                   CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  std::optional<std::string> whole = takePart(handle.get(), CURLUPART_URL, 0);
  if (!whole) return std::nullopt;
  return URL(std::move(*whole));
}

std::string URL::relativePath() const {
  URLHandle handle = parseAbsolute(text_);
  std::string path =
      handle ? takePart(handle.get(), CURLUPART_PATH, CURLU_URLDECODE).value_or("") : std::string();
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string URL::scheme() const {
  URLHandle handle = parseAbsolute(text_);
  return handle ? takePart(handle.get(), CURLUPART_SCHEME, 0).value_or("") : std::string();
}

std::string URL::host() const {
  URLHandle handle = parseAbsolute(text_);
  return handle ? takePart(handle.get(), CURLUPART_HOST, 0).value_or("") : std::string();
}

int URL::port() const {
  URLHandle handle = parseAbsolute(text_);
  if (!handle) return 0;
  std::optional<std::string> port = takePart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  return port ? std::atoi(port->c_str()) : 0;
}

}  // namespace platform
