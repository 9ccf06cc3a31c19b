#include "platform/zip/ZipEntryNames.h"

#include <functional>

namespace platform {
namespace {

// Spreads the folder's index over the hash's bits: an odd multiplier maps
// distinct folders to distinct values, so one name repeated in many folders
// ("Contents" in every bundle) does not pile up in one run of slots.
std::size_t hashOf(std::uint32_t parent, std::string_view component) {
  return std::hash<std::string_view>{}(component) ^ (parent * 0x9E3779B97F4A7C15ull);
}

}  // namespace

// The table starts with 16 slots and is kept at most half full, so that a
// search meets a free slot soon.
ZipEntryNames::ZipEntryNames() : nodes_{{0, 0, true}}, slots_(16, 0) {}

bool ZipEntryNames::clashes(std::string_view name, bool folder) {
  if (name.empty()) return false;
  std::uint32_t node = 0;
  while (true) {
    std::size_t slash = name.find('/');
    bool last = slash == std::string_view::npos;
    std::string_view part = name.substr(0, slash);
    std::size_t slot = slotOf(node, part);
    if (slots_[slot] == 0) {
      node = add(slot, node, part, folder || !last);
    } else {
      node = slots_[slot] - 1;
      if (!nodes_[node].folder || (last && !folder)) return true;
    }
    if (last) return false;
    name.remove_prefix(slash + 1);
  }
}

std::string_view ZipEntryNames::component(std::uint32_t node) const {
  std::size_t end = node + 1 < nodes_.size() ? nodes_[node + 1].offset : text_.size();
  return std::string_view(text_).substr(nodes_[node].offset, end - nodes_[node].offset);
}

// The slot holding the component under its folder, else the free slot where
// it would go.
std::size_t ZipEntryNames::slotOf(std::uint32_t parent, std::string_view part) const {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hashOf(parent, part) & mask;; slot = (slot + 1) & mask) {
    std::uint32_t held = slots_[slot];
    if (held == 0) return slot;
    if (nodes_[held - 1].parent == parent && component(held - 1) == part) return slot;
  }
}

std::uint32_t ZipEntryNames::add(std::size_t slot, std::uint32_t parent, std::string_view part,
                                 bool folder) {
  auto node = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({text_.size(), parent, folder});
  text_.append(part);
  slots_[slot] = node + 1;
  if (2 * nodes_.size() > slots_.size()) growTable();
  return node;
}

void ZipEntryNames::growTable() {
  slots_.assign(2 * slots_.size(), 0);
  for (std::uint32_t node = 1; node < nodes_.size(); ++node)
    slots_[slotOf(nodes_[node].parent, component(node))] = node + 1;
}

}  // namespace platform
