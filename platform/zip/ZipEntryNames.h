#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The names of a zip's entries so far, to tell when a later entry would
// replace an earlier one. They are kept as a tree of path components: each
// component once, under its folder, found through one hash table keyed by
// (folder, component). Keeping every folder prefix of every name instead
// would grow with the square of the names' depth and length; this grows
// with their total length, and adding a name takes time linear in it.
class ZipEntryNames {
 public:
  ZipEntryNames();

  // Adds the name, its components separated by single slashes. True when it
  // clashes: the name was a file already, it is a file where a folder was,
  // or it lies under a file. The empty name, the top folder, never does.
  bool clashes(std::string_view name, bool folder);

 private:
  // The component's text is text_ from offset up to the next node's offset.
  struct Node {
    std::size_t offset;
    std::uint32_t parent;
    bool folder;
  };

  std::string_view component(std::uint32_t node) const;
  std::size_t slotOf(std::uint32_t parent, std::string_view component) const;
  std::uint32_t add(std::size_t slot, std::uint32_t parent, std::string_view component,
                    bool folder);
  void growTable();

  std::vector<Node> nodes_;           // nodes_[0] is the top folder
  std::string text_;                  // every component, back to back
  std::vector<std::uint32_t> slots_;  // a node's index + 1, or 0 when free
};

}  // namespace platform
