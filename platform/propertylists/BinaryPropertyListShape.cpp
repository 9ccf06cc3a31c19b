#include <optional>
#include <vector>

#include "platform/propertylists/BinaryPropertyListLayout.h"
#include "platform/propertylists/PropertyListBounds.h"

namespace platform {

namespace {

// The references of one object: where they start and how many (none for an
// object that is no container).
struct References {
  bool container = false;
  std::uint64_t start = 0;
  std::uint64_t count = 0;
};

// Walks the object graph depth first with an explicit stack, so that its
// own depth is bounded by the nesting limit, and each object once: a shared
// object's value count is kept and added at every further reference.
class ShapeScan {
 public:
  explicit ShapeScan(const BinaryPropertyListLayout& layout)
      : layout_(layout), state_(layout.objectCount(), kUnseen), values_(layout.objectCount()) {}

  bool withinBounds() {
    if (!enter(layout_.topObject())) return false;
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      if (frame.next == frame.references.count) {
        if (!leave()) return false;
        continue;
      }
      auto child = layout_.reference(frame.references.start, frame.next++);
      if (!child || !visitChild(*child)) return false;
    }
    return total_ <= kPropertyListMaximumValues;
  }

 private:
  enum State : std::uint8_t { kUnseen, kOpen, kDone };
  struct Frame {
    std::uint64_t object;
    References references;
    std::uint64_t next = 0;
    std::uint64_t values = 1;
  };

  // The references of the object when it is an array, set or dictionary
  // (whose keys and values are both references); nothing when they do not
  // fit.
  std::optional<References> referencesOf(std::uint64_t object) const {
    auto offset = layout_.offsetOf(object);
    auto head = offset ? layout_.headAt(*offset) : std::nullopt;
    if (!head) return std::nullopt;
    if (!head->isContainer()) return References{};
    auto count = layout_.referenceCount(*head);
    if (!count) return std::nullopt;
    return References{true, head->contents, *count};
  }

  // Opens the object as a frame; false when it is malformed or too deep.
  bool enter(std::uint64_t object) {
    auto references = referencesOf(object);
    if (!references) return false;
    if (references->container && containers_ >= kPropertyListMaximumNesting) return false;
    if (references->container) ++containers_;
    state_[object] = kOpen;
    stack_.push_back(Frame{object, *references});
    return true;
  }

  bool visitChild(std::uint64_t child) {
    if (state_[child] == kOpen) return false;  // an object inside itself
    if (state_[child] == kDone) return addValues(values_[child]);
    return enter(child);
  }

  // Closes the top frame and adds its value count to its parent.
  bool leave() {
    Frame done = stack_.back();
    stack_.pop_back();
    state_[done.object] = kDone;
    if (done.references.container) --containers_;
    values_[done.object] = static_cast<std::uint32_t>(done.values);
    if (stack_.empty()) {
      total_ = done.values;
      return true;
    }
    return addValues(done.values);
  }

  bool addValues(std::uint64_t values) {
    Frame& parent = stack_.back();
    parent.values += values;
    return parent.values <= kPropertyListMaximumValues;
  }

  const BinaryPropertyListLayout& layout_;
  std::vector<std::uint8_t> state_;
  std::vector<std::uint32_t> values_;
  std::vector<Frame> stack_;
  std::size_t containers_ = 0;  // open frames that are containers
  std::uint64_t total_ = 0;
};

}  // namespace

bool binaryPropertyListIsWithinBounds(const BinaryPropertyListLayout& layout) {
  return ShapeScan(layout).withinBounds();
}

bool binaryPropertyListIsWithinBounds(const Bytes& data) {
  auto layout = BinaryPropertyListLayout::of(data);
  return layout && binaryPropertyListIsWithinBounds(*layout);
}

}  // namespace platform
