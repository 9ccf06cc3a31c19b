#include "platform/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/FileWriting.h"
#include "platform/PropertyListBounds.h"

namespace platform {

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Value toValue(plist_t node);

Value dictionaryToValue(plist_t node) {
  Value out = Value::object();
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(node, &iter);
  for (;;) {
    char* key = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(node, iter, &key, &item);
    if (!item) {
      free(key);
      break;
    }
    if (key) out[key] = toValue(item);
    free(key);
  }
  free(iter);
  return out;
}

Value toValue(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t n = 0;
      plist_get_uint_val(node, &n);
      // Negative integers are stored as their 64-bit two's complement.
      if (n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return Value(static_cast<int64_t>(n));
      return Value(n);
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      // libplist's copying getter asserts (and so aborts) when the stored
      // length and the text's C length differ, as for a string that holds a
      // NUL byte; the text is read through its buffer, up to that byte,
      // which is all libplist keeps of it.
      const char* text = plist_get_string_ptr(node, nullptr);
      return text ? std::string(text) : std::string();
    }
    case PLIST_KEY:
      return std::string();
    case PLIST_DATA: {
      char* bytes = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      Bytes data(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + length);
      free(bytes);
      return Value::binary(std::move(data));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value(static_cast<double>(sec) + usec / 1e6);
    }
    case PLIST_UID: {
      uint64_t n = 0;
      plist_get_uid_val(node, &n);
      return Value(n);
    }
    case PLIST_ARRAY: {
      Value out = Value::array();
      uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) out.push_back(toValue(plist_array_get_item(node, i)));
      return out;
    }
    case PLIST_DICT:
      return dictionaryToValue(node);
    default:
      return Value();
  }
}

plist_t toPlist(const Value& value) {
  switch (value.type()) {
    case Value::value_t::object: {
      plist_t dict = plist_new_dict();
      for (auto it = value.begin(); it != value.end(); ++it)
        plist_dict_set_item(dict, it.key().c_str(), toPlist(it.value()));
      return dict;
    }
    case Value::value_t::array: {
      plist_t array = plist_new_array();
      for (const auto& item : value) plist_array_append_item(array, toPlist(item));
      return array;
    }
    case Value::value_t::string:
      return plist_new_string(value.get_ref<const std::string&>().c_str());
    case Value::value_t::boolean:
      return plist_new_bool(value.get<bool>());
    case Value::value_t::number_integer:
      return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));
    case Value::value_t::number_unsigned:
      return plist_new_uint(value.get<uint64_t>());
    case Value::value_t::number_float:
      return plist_new_real(value.get<double>());
    case Value::value_t::binary: {
      const Bytes& bytes = value.get_binary();
      return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    default:
      return plist_new_string("");
  }
}

bool isBinaryPropertyList(const Bytes& data) {
  static const char kBinary[] = "bplist00";
  return data.size() >= 8 && std::equal(kBinary, kBinary + 8, data.begin());
}

bool looksLikePropertyList(const Bytes& data) {
  if (isBinaryPropertyList(data)) return true;
  for (uint8_t c : data) {
    if (c == '<') return true;
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != 0xEF && c != 0xBB && c != 0xBF)
      return false;
  }
  return false;
}

// Bytes the parser may be given: a property list of either form, no larger
// and no deeper nested than the limits.
bool isParseable(const Bytes& data) {
  if (data.empty() || data.size() > kPropertyListMaximumBytes || !looksLikePropertyList(data))
    return false;
  return isBinaryPropertyList(data) ? binaryPropertyListIsWithinBounds(data)
                                    : xmlPropertyListIsWithinBounds(data);
}

// Reads a whole regular file of at most the property-list size limit. The
// open does not block (a FIFO with no writer would wait forever), and only
// a regular file is read, judged on the descriptor so that the file cannot
// change in between.
bool readWholeFile(const std::string& path, Bytes& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > kPropertyListMaximumBytes) {
    close(fd);
    return false;
  }
  out.clear();
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || out.size() + static_cast<size_t>(n) > kPropertyListMaximumBytes) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  close(fd);
  return true;
}

}  // namespace

std::optional<Value> propertyListFromData(const Bytes& data, Error* error) {
  plist_t root = nullptr;
  if (isParseable(data)) {
    plist_from_memory(reinterpret_cast<const char*>(data.data()),
                      static_cast<uint32_t>(data.size()), &root);
  }
  if (!root) {
    if (error)
      *error = Error{"NSCocoaErrorDomain", 3840,
                     "The data couldn\u2019t be read because it isn\u2019t in the correct format."};
    return std::nullopt;
  }
  PlistPtr owner(root);
  return toValue(root);
}

std::optional<Value> dictionaryWithContentsOfFile(const std::string& path) {
  Bytes data;
  if (!readWholeFile(path, data)) return std::nullopt;
  auto value = propertyListFromData(data);
  if (!value || !value->is_object()) return std::nullopt;
  return value;
}

std::string xmlPropertyList(const Value& value) {
  PlistPtr root(toPlist(value));
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root.get(), &xml, &length);
  std::string out = xml ? std::string(xml, length) : std::string();
  free(xml);
  return out;
}

bool writePropertyListAtomically(const Value& value, const std::string& path) {
  std::string xml = xmlPropertyList(value);
  if (xml.empty()) return false;
  std::string temporary = path + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, xml.data(), xml.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace platform
