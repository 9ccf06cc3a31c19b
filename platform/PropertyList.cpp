#include "platform/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/DictionaryIndex.h"
#include "platform/PropertyListBounds.h"
#include "platform/Text.h"
#include "platform/XMLPropertyListReader.h"
#include "platform/files/FileWriting.h"

namespace platform {

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

bool isContainer(plist_t node) {
  plist_type type = plist_get_node_type(node);
  return type == PLIST_ARRAY || type == PLIST_DICT;
}

// A value that holds no other values.
Value leafValue(plist_t node) {
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
    default:
      return Value();
  }
}

// One array or dictionary being converted: its value so far and where its
// walk over the children stands.
class ContainerFrame {
 public:
  explicit ContainerFrame(plist_t node)
      : node_(node),
        value_(plist_get_node_type(node) == PLIST_DICT ? Value::object() : Value::array()) {
    if (value_.is_object()) plist_dict_new_iter(node_, &iterator_);
  }
  ContainerFrame(ContainerFrame&& other) noexcept
      : node_(other.node_),
        value_(std::move(other.value_)),
        iterator_(std::exchange(other.iterator_, nullptr)),
        next_(other.next_),
        key_(std::move(other.key_)),
        positions_(std::move(other.positions_)) {}
  ContainerFrame(const ContainerFrame&) = delete;
  ContainerFrame& operator=(const ContainerFrame&) = delete;
  ~ContainerFrame() { free(iterator_); }

  // The next child, its key kept for add(); nullptr after the last.
  plist_t nextChild() {
    if (value_.is_array())
      return next_ < plist_array_get_size(node_) ? plist_array_get_item(node_, next_++) : nullptr;
    for (;;) {
      char* key = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node_, iterator_, &key, &item);
      std::unique_ptr<char, decltype(&free)> owner(key, &free);
      if (!item) return nullptr;
      if (!key) continue;
      key_ = key;
      return item;
    }
  }

  // Adds the converted child under the key of nextChild() in a dictionary.
  void add(Value child) {
    if (value_.is_array()) return value_.push_back(std::move(child));
    positions_.set(value_, key_, std::move(child));
  }

  Value take() { return std::move(value_); }

 private:
  plist_t node_;
  Value value_;
  plist_dict_iter iterator_ = nullptr;
  uint32_t next_ = 0;
  std::string key_;
  DictionaryIndex positions_;
};

// Converts the parsed tree with a stack of its own, so that no nesting can
// exhaust the thread's stack; nothing when arrays and dictionaries nest
// deeper than the limit, whatever the text looked like before parsing.
std::optional<Value> toValue(plist_t root) {
  if (!isContainer(root)) return leafValue(root);
  std::vector<ContainerFrame> stack;
  stack.emplace_back(root);
  for (;;) {
    plist_t child = stack.back().nextChild();
    if (child && isContainer(child)) {
      if (stack.size() >= kPropertyListMaximumNesting) return std::nullopt;
      stack.emplace_back(child);
    } else if (child) {
      stack.back().add(leafValue(child));
    } else {
      Value done = stack.back().take();
      stack.pop_back();
      if (stack.empty()) return done;
      stack.back().add(std::move(done));
    }
  }
}

plist_t toPlist(const Value& value) {
  switch (value.type()) {
    case Value::value_t::object: {
      plist_t dict = plist_new_dict();
      for (auto it = value.begin(); it != value.end(); ++it)
        plist_dict_set_item(dict, xmlCharacterText(it.key()).c_str(), toPlist(it.value()));
      return dict;
    }
    case Value::value_t::array: {
      plist_t array = plist_new_array();
      for (const auto& item : value) plist_array_append_item(array, toPlist(item));
      return array;
    }
    case Value::value_t::string:
      return plist_new_string(xmlCharacterText(value.get_ref<const std::string&>()).c_str());
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

// Binary property-list bytes libplist may be given: no larger and no deeper
// nested than the limits, so that its recursive freeing stays shallow.
bool isParseableBinary(const Bytes& data) {
  return data.size() <= kPropertyListMaximumBytes && isBinaryPropertyList(data) &&
         binaryPropertyListIsWithinBounds(data);
}

// The value of binary property-list bytes, through libplist.
std::optional<Value> valueFromBinaryPropertyList(const Bytes& data) {
  if (!isParseableBinary(data)) return std::nullopt;
  plist_t root = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(data.data()), static_cast<uint32_t>(data.size()),
                 &root);
  PlistPtr owner(root);
  return root ? toValue(root) : std::nullopt;
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
  std::optional<Value> value;
  if (isBinaryPropertyList(data))
    value = valueFromBinaryPropertyList(data);
  else if (data.size() <= kPropertyListMaximumBytes && looksLikePropertyList(data))
    value = valueFromXMLPropertyList(data);
  if (!value && error)
    *error = Error{"NSCocoaErrorDomain", 3840,
                   "The data couldn\u2019t be read because it isn\u2019t in the correct format."};
  return value;
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
  std::string out;
  // A carriage return written as itself would come back as a line feed
  // from any conforming reader; the writer puts none in its own markup.
  for (uint32_t i = 0; xml && i < length; ++i) {
    if (xml[i] == '\r')
      out += "&#13;";
    else
      out += xml[i];
  }
  free(xml);
  return out;
}

bool writePropertyListAtomically(const Value& value, const std::string& path) {
  std::string xml = xmlPropertyList(value);
  if (xml.empty()) return false;
  std::string temporary = path + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0 && writeAll(fd, xml.data(), xml.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace platform
