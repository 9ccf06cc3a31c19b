#include "platform/Format.h"

#include <cstdio>

namespace platform {

namespace {

std::string hexBytes(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out = "{length = " + std::to_string(bytes.size()) + ", bytes = 0x";
  size_t shown = bytes.size() <= 24 ? bytes.size() : 8;
  for (size_t i = 0; i < shown; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  if (shown < bytes.size()) out += " ... ";
  return out + "}";
}

}  // namespace

std::string describeValue(const Value& value) {
  if (value.is_null()) return "(null)";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  if (value.is_binary()) return hexBytes(*bytesOf(value));
  if (value.is_number()) return value.dump();
  if (value.is_array()) {
    std::string out = "(\n";
    for (size_t i = 0; i < value.size(); ++i) {
      out += "    " + describeValue(value[i]) + (i + 1 < value.size() ? ",\n" : "\n");
    }
    return out + ")";
  }
  std::string out = "{\n";
  for (auto it = value.begin(); it != value.end(); ++it) {
    out += "    " + it.key() + " = " + describeValue(it.value()) + ";\n";
  }
  return out + "}";
}

std::string FormatArg::description() const {
  if (auto* text = std::get_if<std::string>(&value_)) return *text;
  if (auto* number = std::get_if<std::int64_t>(&value_)) return std::to_string(*number);
  if (auto* number = std::get_if<std::uint64_t>(&value_)) return std::to_string(*number);
  if (auto* value = std::get_if<const Value*>(&value_)) return describeValue(**value);
  return "(null)";
}

std::uint64_t FormatArg::integerBits() const {
  if (auto* number = std::get_if<std::int64_t>(&value_)) return static_cast<std::uint64_t>(*number);
  if (auto* number = std::get_if<std::uint64_t>(&value_)) return *number;
  if (auto* value = std::get_if<const Value*>(&value_)) {
    if ((*value)->is_number_integer()) return (*value)->get<std::uint64_t>();
    if ((*value)->is_boolean()) return (*value)->get<bool>() ? 1 : 0;
  }
  return 0;
}

std::string formatString(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  auto next = args.begin();
  auto take = [&]() -> const FormatArg* { return next == args.end() ? nullptr : &*next++; };
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    size_t j = i + 1;
    int longs = 0;
    while (j < format.size() && format[j] == 'l') {
      ++longs;
      ++j;
    }
    if (j >= format.size()) {
      out.append(format.substr(i));
      break;
    }
    char spec = format[j];
    const FormatArg* arg = nullptr;
    switch (spec) {
      case '%':
        out += '%';
        break;
      case '@':
        arg = take();
        out += arg ? arg->description() : "(null)";
        break;
      case 'i':
      case 'd':
        if ((arg = take())) {
          std::uint64_t bits = arg->integerBits();
          out += longs ? std::to_string(static_cast<std::int64_t>(bits))
                       : std::to_string(static_cast<std::int32_t>(bits));
        }
        break;
      case 'u':
        if ((arg = take())) {
          std::uint64_t bits = arg->integerBits();
          out += longs ? std::to_string(bits) : std::to_string(static_cast<std::uint32_t>(bits));
        }
        break;
      default:
        out.append(format.substr(i, j - i + 1));
        break;
    }
    i = j;
  }
  return out;
}

}  // namespace platform
