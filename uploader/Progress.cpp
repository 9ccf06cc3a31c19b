#include "uploader/Progress.h"

#include <cstdio>

#include "platform/Format.h"
#include "platform/Log.h"

namespace {

constexpr auto kQuietStart = std::chrono::seconds(2);
constexpr auto kTerminalInterval = std::chrono::milliseconds(250);
constexpr auto kRecordInterval = std::chrono::seconds(10);

std::string megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

}  // namespace

std::string progressText(std::uint64_t sent, std::uint64_t total, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(sent) / seconds : 0;
  // A zip sent while it is made has no total yet.
  const std::string of = total > 0 ? " of " + megabytes(static_cast<double>(total)) : "";
  return megabytes(static_cast<double>(sent)) + of + " sent (" + megabytes(rate) + "/s)";
}

void ConsoleUploadProgress::sendBegins(const DSYMUploadDescription& description) {
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = description.dsymName;
  begun_ = Clock::now();
  shown_ = false;
}

void ConsoleUploadProgress::bytesSent(std::uint64_t sent, std::uint64_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  if (now - begun_ < kQuietStart) return;
  if (shown_ && now - lastShown_ < (terminal_ ? kTerminalInterval : kRecordInterval)) return;
  const double seconds = std::chrono::duration<double>(now - begun_).count();
  const std::string text = name_ + ": " + progressText(sent, total, seconds);
  if (terminal_)
    platform::writeStatusLine(text);
  else
    platform::NSLog("%@", text);
  shown_ = true;
  lastShown_ = now;
}

void ConsoleUploadProgress::sendEnds() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_ && shown_) platform::writeStatusLine("");
  shown_ = false;
}
