#include "platform/propertylists/XMLPropertyListReader.h"

#include <libxml/xmlreader.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/propertylists/DictionaryIndex.h"
#include "platform/propertylists/PropertyListBounds.h"
#include "platform/propertylists/XMLPropertyListLeaves.h"

namespace platform {

namespace {

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
    std::optional<Value> value;
    if (name == "true" || name == "false")
      value = text_.empty() ? std::optional<Value>(name == "true") : std::nullopt;
    else
      value = xmlLeafValue(name, text_);
    if (!value) {
      failed_ = true;
      return;
    }
    add(std::move(*value));
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

void ignoreGenericError(void*, const char*, ...) {}

// Encoding errors (a lone surrogate in UTF-16 text) bypass the reader's
// handler for the thread's generic one, which writes to stderr: it is
// silenced while this thread reads, then given back.
class GenericErrorsSilenced {
 public:
  GenericErrorsSilenced() : handler_(xmlGenericError), context_(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
  }
  ~GenericErrorsSilenced() { xmlSetGenericErrorFunc(context_, handler_); }
  GenericErrorsSilenced(const GenericErrorsSilenced&) = delete;
  GenericErrorsSilenced& operator=(const GenericErrorsSilenced&) = delete;

 private:
  xmlGenericErrorFunc handler_;
  void* context_;
};

}  // namespace

std::optional<Value> valueFromXMLPropertyList(const Bytes& data) {
  // No network, no messages; the depth limit is relaxed to the library's
  // larger one, since ours (counted above) is the one that holds.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
  GenericErrorsSilenced silenced;
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
