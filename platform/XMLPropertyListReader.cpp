#include "platform/XMLPropertyListReader.h"

#include <libxml/xmlreader.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DictionaryIndex.h"
#include "platform/PropertyListBounds.h"

namespace platform {

namespace {

// Seconds from 1970 to 2001, the epoch of property-list dates.
constexpr double kReferenceDateOffset = 978307200;

struct ReaderFree {
  void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

std::string_view textOf(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

std::string_view trimmed(std::string_view text) {
  const char* kSpace = " \t\r\n";
  std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) + 1 - first);
}

// An integer as property lists store it: the digits (decimal, or hex after
// "0x") after an optional sign, a negative one as its 64-bit two's
// complement, read back signed when it is past the largest signed value.
Value integerValueOf(std::string_view text) {
  std::string digits(trimmed(text));
  bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.erase(0, 1);
  std::uint64_t n = std::strtoull(digits.c_str(), nullptr, 0);
  if (negative) n = ~n + 1;
  if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return Value(static_cast<std::int64_t>(n));
  return Value(n);
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Base64 with white space and anything else outside the alphabet skipped,
// ending at the first '='.
Value dataValueOf(std::string_view text) {
  Bytes bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    int digit = base64Digit(c);
    if (digit < 0) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  return Value::binary(std::move(bytes));
}

// "YYYY-MM-DDTHH:MM:SSZ" as seconds since 2001; 0 for anything else.
Value dateValueOf(std::string_view text) {
  std::string date(trimmed(text));
  std::tm parts{};
  if (sscanf(date.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
             &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6)
    return Value(0.0);
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return Value(static_cast<double>(timegm(&parts)) - kReferenceDateOffset);
}

// One array or dictionary being read.
struct Container {
  Value value;
  std::optional<std::string> key;  // the key waiting for its value
  DictionaryIndex positions;
};

class Reader {
 public:
  explicit Reader(xmlTextReaderPtr reader) : reader_(reader) {}

  std::optional<Value> read() {
    int status;
    while (!failed_ && (status = xmlTextReaderRead(reader_)) == 1) step();
    if (failed_ || status != 0 || !stack_.empty() || leaf_) return std::nullopt;
    return std::move(result_);
  }

  // The document taken from the reader, if any: freed after the reader.
  xmlDocPtr takenDocument() const { return document_; }

 private:
  void step() {
    switch (xmlTextReaderNodeType(reader_)) {
      case XML_READER_TYPE_ELEMENT:
        return startElement(textOf(xmlTextReaderConstLocalName(reader_)),
                            xmlTextReaderIsEmptyElement(reader_) == 1);
      case XML_READER_TYPE_END_ELEMENT:
        return endElement(textOf(xmlTextReaderConstLocalName(reader_)));
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        return addText(textOf(xmlTextReaderConstValue(reader_)));
      case XML_READER_TYPE_DOCUMENT_TYPE:
        return refuseInternalSubset();
      case XML_READER_TYPE_COMMENT:
      case XML_READER_TYPE_PROCESSING_INSTRUCTION:
        return;
      default:  // entity references and anything else a property list has not
        failed_ = true;
    }
  }

  // The subset could declare entities whose expansion multiplies the text.
  // Asking for the document makes it ours: the reader no longer frees it.
  void refuseInternalSubset() {
    if (!document_) document_ = xmlTextReaderCurrentDoc(reader_);
    if (document_ && document_->intSubset && document_->intSubset->children) failed_ = true;
  }

  void startElement(std::string_view name, bool empty) {
    if (leaf_) {
      failed_ = true;
    } else if (name == "plist") {
      failed_ = empty || !stack_.empty() || result_;
    } else if (name == "dict" || name == "array") {
      openContainer(name == "dict" ? Value::object() : Value::array());
      if (empty) closeContainer();
    } else if (isLeafName(name)) {
      leaf_ = std::string(name);
      text_.clear();
      if (empty) endElement(name);
    } else {
      failed_ = true;
    }
  }

  void endElement(std::string_view name) {
    if (leaf_) {
      std::string leaf = std::move(*leaf_);
      leaf_.reset();
      return finishLeaf(leaf);
    }
    if (name == "dict" || name == "array") closeContainer();
  }

  void addText(std::string_view text) {
    if (leaf_)
      text_ += text;
    else if (!trimmed(text).empty())
      failed_ = true;
  }

  static bool isLeafName(std::string_view name) {
    for (const char* leaf : {"key", "string", "integer", "real", "true", "false", "data", "date"})
      if (name == leaf) return true;
    return false;
  }

  void finishLeaf(std::string_view name) {
    if (name == "key") return takeKey();
    if (name == "string") return add(Value(text_));
    if (name == "integer") return add(integerValueOf(text_));
    if (name == "real") return add(Value(std::atof(text_.c_str())));
    if (name == "true" || name == "false") return add(Value(name == "true"));
    if (name == "data") return add(dataValueOf(text_));
    add(dateValueOf(text_));
  }

  void takeKey() {
    if (stack_.empty() || !stack_.back().value.is_object() || stack_.back().key) {
      failed_ = true;
      return;
    }
    stack_.back().key = text_;
  }

  void openContainer(Value value) {
    if (stack_.size() >= kPropertyListMaximumNesting) {
      failed_ = true;
      return;
    }
    stack_.push_back(Container{std::move(value), std::nullopt, {}});
  }

  void closeContainer() {
    if (stack_.empty() || stack_.back().key) {
      failed_ = true;
      return;
    }
    Value done = std::move(stack_.back().value);
    stack_.pop_back();
    add(std::move(done));
  }

  // Adds a finished value to the open container, or makes it the result.
  void add(Value value) {
    if (stack_.empty()) {
      if (result_) failed_ = true;
      result_ = std::move(value);
      return;
    }
    Container& top = stack_.back();
    if (top.value.is_array()) return top.value.push_back(std::move(value));
    if (!top.key) {
      failed_ = true;
      return;
    }
    top.positions.set(top.value, *top.key, std::move(value));
    top.key.reset();
  }

  xmlTextReaderPtr reader_;
  std::vector<Container> stack_;
  std::optional<Value> result_;
  std::optional<std::string> leaf_;  // the leaf element being read
  std::string text_;
  bool failed_ = false;
  xmlDocPtr document_ = nullptr;
};

void ignoreError(void*, xmlErrorPtr) {}

}  // namespace

std::optional<Value> valueFromXMLPropertyList(const Bytes& data) {
  // No network, no messages; the depth limit is relaxed to the library's
  // larger one, since ours (counted above) is the one that holds.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
  std::unique_ptr<xmlTextReader, ReaderFree> reader(
      xmlReaderForMemory(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()),
                         nullptr, nullptr, options));
  if (!reader) return std::nullopt;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), ignoreError, nullptr);
  Reader parse(reader.get());
  std::optional<Value> value = parse.read();
  reader.reset();
  if (xmlDocPtr document = parse.takenDocument()) xmlFreeDoc(document);
  return value;
}

}  // namespace platform
