#include "platform/propertylists/BinaryPropertyListReader.h"

#include <string>
#include <vector>

#include "platform/propertylists/BinaryPropertyListLayout.h"
#include "platform/propertylists/BinaryPropertyListObjects.h"
#include "platform/propertylists/DictionaryIndex.h"
#include "platform/propertylists/PropertyListBounds.h"

namespace platform {

namespace {

// One array, set or dictionary being read: its value so far and where the
// walk over its references stands.
struct Frame {
  Value value;
  std::uint64_t references = 0;  // where its references start
  std::uint64_t count = 0;       // its entries (a dictionary's keys)
  std::uint64_t next = 0;
  std::string key;  // of the entry whose value is being read
  DictionaryIndex positions;
};

// Walks the objects from the top with a stack of its own. The bounds check
// that comes first rules out references to an object from inside itself and
// keeps the stack and the values read within the limits, so the walk ends
// and each step reads only what the layout bounds.
class ObjectWalk {
 public:
  explicit ObjectWalk(const BinaryPropertyListLayout& layout) : layout_(layout) {}

  std::optional<Value> read() {
    bool ok = enter(layout_.topObject());
    while (ok && !stack_.empty()) ok = step();
    if (!ok) return std::nullopt;
    return std::move(result_);
  }

 private:
  // Reads the object, or opens it as a frame when it is a container.
  bool enter(std::uint64_t object) {
    auto head = headOf(object);
    if (!head) return false;
    if (!head->isContainer()) {
      auto leaf = binaryLeafValue(layout_, *head);
      return leaf && add(std::move(*leaf));
    }
    return open(*head);
  }

  std::optional<BinaryObjectHead> headOf(std::uint64_t object) const {
    auto offset = layout_.offsetOf(object);
    return offset ? layout_.headAt(*offset) : std::nullopt;
  }

  bool open(const BinaryObjectHead& head) {
    if (!layout_.referenceCount(head)) return false;
    Frame frame{head.kind() == 0xD ? Value::object() : Value::array(), head.contents, head.count};
    if (frame.value.is_array())
      frame.value.get_ref<Value::array_t&>().reserve(head.count);
    else
      frame.value.get_ref<Value::object_t&>().reserve(head.count);
    stack_.push_back(std::move(frame));
    return true;
  }

  // Reads the next entry of the innermost container, or closes it.
  bool step() {
    Frame& frame = stack_.back();
    if (frame.next == frame.count) {
      Value done = std::move(frame.value);
      stack_.pop_back();
      return add(std::move(done));
    }
    const std::uint64_t entry = frame.next++;
    if (frame.value.is_object() && !readKey(frame, entry)) return false;
    const std::uint64_t slot = frame.value.is_object() ? frame.count + entry : entry;
    auto object = layout_.reference(frame.references, slot);
    return object && enter(*object);
  }

  bool readKey(Frame& frame, std::uint64_t entry) {
    auto object = layout_.reference(frame.references, entry);
    auto head = object ? headOf(*object) : std::nullopt;
    auto key = head ? binaryKeyText(layout_, *head) : std::nullopt;
    if (!key) return false;
    frame.key = std::move(*key);
    return true;
  }

  // Adds a finished value to the innermost container, or makes it the result.
  bool add(Value value) {
    if (stack_.empty()) {
      result_ = std::move(value);
    } else if (Frame& top = stack_.back(); top.value.is_array()) {
      top.value.push_back(std::move(value));
    } else {
      top.positions.set(top.value, top.key, std::move(value));
    }
    return true;
  }

  const BinaryPropertyListLayout& layout_;
  std::vector<Frame> stack_;
  Value result_;
};

}  // namespace

std::optional<Value> valueFromBinaryPropertyList(const Bytes& data) {
  if (data.size() > kPropertyListMaximumBytes) return std::nullopt;
  auto layout = BinaryPropertyListLayout::of(data);
  if (!layout || !binaryPropertyListIsWithinBounds(*layout)) return std::nullopt;
  return ObjectWalk(*layout).read();
}

}  // namespace platform
