#include "platform/desktop/URLOpener.h"

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <unistd.h>

#include <string_view>

#include "platform/desktop/DesktopLookUp.h"

namespace platform {

namespace {

// Launches a desktop-entry application with the URL as its one argument.
bool launchDesktopApplication(GDesktopAppInfo* application, const std::string& url) {
  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) return false;
  GList uris = {const_cast<char*>(url.c_str()), nullptr, nullptr};
  GError* error = nullptr;
  gboolean launched = g_desktop_app_info_launch_uris_as_manager_with_fds(
      application, &uris, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr, devNull,
      devNull, devNull, &error);
  g_clear_error(&error);
  close(devNull);
  return launched;
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether every character may stand in a URL as written: printable ASCII
// other than space and "\"<>\\^`{|}", and "%" only before two hex digits.
bool hasOnlyURLCharacters(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c >= 0x7F) return false;
    if (std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
    if (c == '%' && (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])))
      return false;
  }
  return true;
}

}  // namespace

bool isValidURL(const std::string& text) {
  return hasOnlyURLCharacters(text) && g_uri_is_valid(text.c_str(), G_URI_FLAGS_ENCODED, nullptr);
}

namespace {

bool openWithDefaultApplication(const std::string& url) {
  char* scheme = g_uri_parse_scheme(url.c_str());
  GAppInfo* application = scheme ? g_app_info_get_default_for_uri_scheme(scheme) : nullptr;
  g_free(scheme);
  bool opened = false;
  if (application && G_IS_DESKTOP_APP_INFO(application)) {
    opened = launchDesktopApplication(G_DESKTOP_APP_INFO(application), url);
  } else {
    opened = g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr);
  }
  if (application) g_object_unref(application);
  return opened;
}

}  // namespace

bool openURLWithDefaultApplication(const std::string& url) {
  if (!isValidURL(url)) return false;
  auto opened =
      desktopLookUp<bool>([url] { return std::optional(openWithDefaultApplication(url)); });
  return opened.value_or(false);
}

}  // namespace platform
