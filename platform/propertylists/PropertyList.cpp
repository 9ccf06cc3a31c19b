#include "platform/propertylists/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "platform/files/FileWriting.h"
#include "platform/propertylists/BinaryPropertyListReader.h"
#include "platform/propertylists/PropertyListBounds.h"
#include "platform/propertylists/XMLPropertyListReader.h"

namespace platform {

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// An integer node that libplist writes unsigned. Its 2.2 interface makes
// every new integer node signed, so that 2^64-1 would be written as -1;
// only its own XML reader marks a number past 2^63-1 as unsigned.
plist_t unsignedNode(uint64_t n) {
  if (n <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return plist_new_uint(n);
  std::string xml = "<plist version=\"1.0\"><integer>" + std::to_string(n) + "</integer></plist>";
  plist_t node = nullptr;
  plist_from_xml(xml.c_str(), static_cast<uint32_t>(xml.size()), &node);
  return node ? node : plist_new_uint(n);
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
      return unsignedNode(value.get<uint64_t>());
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

// Apple's reader takes any version byte after "bplist0" as the binary form.
bool isBinaryPropertyList(const Bytes& data) {
  static const char kBinary[] = "bplist0";
  return data.size() >= 8 && std::equal(kBinary, kBinary + 7, data.begin());
}

bool startsWith(const Bytes& data, std::initializer_list<uint8_t> prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

// Whether the text starts with '<' after white space and a byte-order mark:
// UTF-8 (with its mark or without), or UTF-16 with its mark in either byte
// order, which the XML reader then reads as such.
bool looksLikeXML(const Bytes& data) {
  size_t at = 0, width = 1, low = 0;  // low: where a code unit's low byte lies
  if (startsWith(data, {0xEF, 0xBB, 0xBF})) {
    at = 3;
  } else if (startsWith(data, {0xFF, 0xFE}) || startsWith(data, {0xFE, 0xFF})) {
    at = 2, width = 2, low = data[0] == 0xFE ? 1 : 0;
  }
  for (; at + width <= data.size(); at += width) {
    if (width == 2 && data[at + 1 - low] != 0) return false;
    const uint8_t c = data[at + low];
    if (c == '<') return true;
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return false;
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
  else if (data.size() <= kPropertyListMaximumBytes && looksLikeXML(data))
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
