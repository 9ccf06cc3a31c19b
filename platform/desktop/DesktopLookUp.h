#pragma once

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// Runs one question to the desktop's configuration (GIO) on a thread of its
// own and returns whether it finished within a few seconds. GIO reads
// mimeapps.list and the desktop entries with blocking opens and reads, so a
// FIFO or a hung file system in their place would otherwise hold the run.
// After one question has overrun, every later one returns false at once:
// the stuck one may hold GIO's locks for good. Work that overruns is left
// to finish, or to end with the process, on its own.
bool runDesktopLookUp(std::function<void()> work);

// The answer of a desktop question, or nothing when it overran (see
// runDesktopLookUp); a late answer is dropped.
template <typename Result>
std::optional<Result> desktopLookUp(std::function<std::optional<Result>()> question) {
  auto answer = std::make_shared<std::optional<Result>>();
  if (!runDesktopLookUp([answer, question = std::move(question)] { *answer = question(); }))
    return std::nullopt;
  return std::move(*answer);
}

}  // namespace platform
