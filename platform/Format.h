#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "platform/Error.h"
#include "platform/Value.h"

namespace platform {

// One argument of a format: a text, a number, an error, a value, or nothing.
// "%@" prints its description (an absent value prints "(null)").
class FormatArg {
 public:
  FormatArg(std::nullptr_t) {}
  FormatArg(const char* text) {
    if (text) value_ = std::string(text);
  }
  FormatArg(std::string_view text) : value_(std::string(text)) {}
  FormatArg(const std::string& text) : value_(text) {}
  FormatArg(const std::optional<std::string>& text) {
    if (text) value_ = *text;
  }
  FormatArg(const Error& error) : value_(error.description()) {}
  FormatArg(const std::optional<Error>& error) {
    if (error) value_ = error->description();
  }
  FormatArg(const Value& value) : value_(&value) {}
  template <typename Int, typename = std::enable_if_t<std::is_integral_v<Int>>>
  FormatArg(Int number) {
    if constexpr (std::is_signed_v<Int>) {
      value_ = static_cast<std::int64_t>(number);
    } else {
      value_ = static_cast<std::uint64_t>(number);
    }
  }

  // The "%@" text.
  std::string description() const;
  // The bits of the argument as an integer, for "%i", "%d", "%u", "%lu".
  std::uint64_t integerBits() const;

 private:
  std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, const Value*> value_;
};

// Formats like the platform's string-format rules for the specifiers the tool
// uses: %@, %i, %d (32-bit signed), %u, %lu, %ld, %lld, %llu and %%.
// A specifier without an argument prints nothing.
std::string formatString(std::string_view format, std::initializer_list<FormatArg> args);

// The text form of a value as "%@" prints it.
std::string describeValue(const Value& value);

template <typename... Args>
std::string format(std::string_view fmt, const Args&... args) {
  return formatString(fmt, {FormatArg(args)...});
}

}  // namespace platform
