#include "platform/desktop/URLSchemeHandler.h"

#include <gio/gio.h>

#include <memory>

#include "platform/desktop/DesktopLookUp.h"

namespace platform {

namespace {

constexpr const char* kBundleVersionKey = "X-Quorvex-Bundle-Version";

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFreeText {
  void operator()(char* text) const { g_free(text); }
};
struct GKeyFileFree {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using Text = std::unique_ptr<char, GFreeText>;

std::optional<std::string> schemeOf(const std::string& url) {
  Text scheme(g_uri_parse_scheme(url.c_str()));
  if (!scheme) return std::nullopt;
  return std::string(scheme.get());
}

// The file:// URL of the handler's desktop entry, read from the "filename"
// property that an application made from a desktop entry carries.
std::optional<std::string> entryURL(GAppInfo* handler) {
  if (!g_object_class_find_property(G_OBJECT_GET_CLASS(handler), "filename")) return std::nullopt;
  char* entryPath = nullptr;
  g_object_get(handler, "filename", &entryPath, nullptr);
  Text path(entryPath);
  if (!path) return std::nullopt;
  Text url(g_filename_to_uri(path.get(), nullptr, nullptr));
  if (!url) return std::nullopt;
  return std::string(url.get());
}

std::optional<std::string> handlerEntryURL(const std::string& scheme) {
  std::unique_ptr<GAppInfo, GObjectUnref> handler(
      g_app_info_get_default_for_uri_scheme(scheme.c_str()));
  if (!handler) return std::nullopt;
  return entryURL(handler.get());
}

std::optional<Value> entryInfoDictionary(const std::string& applicationURL) {
  Text entryPath(g_filename_from_uri(applicationURL.c_str(), nullptr, nullptr));
  if (!entryPath) return std::nullopt;
  std::unique_ptr<GKeyFile, GKeyFileFree> entry(g_key_file_new());
  if (!g_key_file_load_from_file(entry.get(), entryPath.get(), G_KEY_FILE_NONE, nullptr))
    return std::nullopt;
  Value info = Value::object();
  Text version(
      g_key_file_get_string(entry.get(), G_KEY_FILE_DESKTOP_GROUP, kBundleVersionKey, nullptr));
  if (version) info["CFBundleVersion"] = std::string(version.get());
  return info;
}

}  // namespace

std::optional<std::string> applicationURLForURL(const std::string& url) {
  auto scheme = schemeOf(url);
  if (!scheme) return std::nullopt;
  return desktopLookUp<std::string>([scheme = *scheme] { return handlerEntryURL(scheme); });
}

std::optional<Value> applicationInfoDictionary(const std::string& applicationURL) {
  return desktopLookUp<Value>([applicationURL] { return entryInfoDictionary(applicationURL); });
}

}  // namespace platform
