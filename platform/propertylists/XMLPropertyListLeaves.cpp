#include "platform/propertylists/XMLPropertyListLeaves.h"

#include <locale.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace platform {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::size_t skipSpace(std::string_view text, std::size_t i) {
  while (i < text.size() && isSpace(text[i])) ++i;
  return i;
}

int digitValue(char c, int base) {
  int digit = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
  return digit < base ? digit : -1;
}

// The digits as an unsigned number; nothing when there are none, when one
// is no digit of the base or when the number passes 2^64-1.
std::optional<std::uint64_t> unsignedNumber(std::string_view digits, int base) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  for (char c : digits) {
    int digit = digitValue(c, base);
    if (digit < 0 || value > (kLargest - static_cast<unsigned>(digit)) / base) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
  }
  return value;
}

std::optional<Value> integerValue(std::string_view text) {
  std::size_t i = skipSpace(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    i = skipSpace(text, i + 1);
  }
  const bool hex = text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X";
  auto magnitude = unsignedNumber(text.substr(hex ? i + 2 : i), hex ? 16 : 10);
  if (!magnitude) return std::nullopt;
  if (!negative || *magnitude == 0) return Value(*magnitude);
  if (*magnitude > std::uint64_t{1} << 63) return std::nullopt;
  return Value(static_cast<std::int64_t>(~*magnitude + 1));
}

bool equalsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  return true;
}

std::optional<double> specialReal(std::string_view text) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  if (equalsIgnoringCase(text, "nan")) return std::numeric_limits<double>::quiet_NaN();
  for (std::string_view word : {"inf", "+inf", "infinity", "+infinity"})
    if (equalsIgnoringCase(text, word)) return kInfinity;
  for (std::string_view word : {"-inf", "-infinity"})
    if (equalsIgnoringCase(text, word)) return -kInfinity;
  return std::nullopt;
}

bool isNumberCharacter(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

// The number must take the whole text after any white space before it, read
// as C reads it whatever the locale.
std::optional<Value> realValue(std::string_view text) {
  if (auto special = specialReal(text)) return Value(*special);
  std::size_t start = skipSpace(text, 0);
  std::string number(text.substr(start));
  for (char c : number)
    if (!isNumberCharacter(c)) return std::nullopt;
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* end = nullptr;
  double value = strtod_l(number.c_str(), &end, cLocale);
  if (number.empty() || end != number.c_str() + number.size()) return std::nullopt;
  return Value(value);
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar, for
// a day of the month counted on past the month's end as Apple's reader does.
std::int64_t daysSince1970(std::int64_t year, unsigned month, std::int64_t day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468 + day - 1;
}

// Reads the text as a date field by field, each field ending at the given
// separator.
class DateFields {
 public:
  explicit DateFields(std::string_view text) : text_(text) {}

  // The year: an optional minus and any count of digits, up to 2^31-1.
  std::optional<std::int64_t> year(char separator) {
    const bool negative = at_ < text_.size() && text_[at_] == '-';
    std::size_t end = text_.find(separator, at_ + negative);
    if (end == std::string_view::npos) return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = at_ + negative; i < end; ++i) {
      if (text_[i] < '0' || text_[i] > '9') return std::nullopt;
      value = value * 10 + (text_[i] - '0');
      if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    at_ = end + 1;
    return negative ? -value : value;
  }

  // Two digits, then the separator.
  std::optional<int> twoDigits(char separator) {
    if (text_.size() - at_ < 3 || digitValue(text_[at_], 10) < 0 ||
        digitValue(text_[at_ + 1], 10) < 0 || text_[at_ + 2] != separator)
      return std::nullopt;
    int value = (text_[at_] - '0') * 10 + (text_[at_ + 1] - '0');
    at_ += 3;
    return value;
  }

  bool atEnd() const { return at_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<Value> dateValue(std::string_view text) {
  DateFields fields(text);
  auto year = fields.year('-');
  auto month = year ? fields.twoDigits('-') : std::nullopt;
  auto day = month ? fields.twoDigits('T') : std::nullopt;
  auto hour = day ? fields.twoDigits(':') : std::nullopt;
  auto minute = hour ? fields.twoDigits(':') : std::nullopt;
  auto second = minute ? fields.twoDigits('Z') : std::nullopt;
  if (!second || !fields.atEnd() || *month < 1 || *month > 12) return std::nullopt;
  constexpr std::int64_t k2001 = 11323;  // days from 1970 to 2001
  const auto days =
      static_cast<double>(daysSince1970(*year, static_cast<unsigned>(*month), *day) - k2001);
  return Value(86400.0 * days + (3600.0 * *hour + 60.0 * *minute + *second));
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return c == '=' ? 0 : -1;
}

// Each group of four characters of the alphabet and '=' gives three bytes,
// fewer by the '=' that end it; anything else in between is skipped.
std::optional<Value> dataValue(std::string_view text) {
  Bytes bytes;
  std::uint32_t group = 0;
  int inGroup = 0, padding = 0;
  for (char c : text) {
    const int digit = base64Digit(c);
    if (c == '=')
      ++padding;
    else if (!isSpace(c))
      padding = 0;
    if (digit < 0) continue;
    group = (group << 6) | static_cast<std::uint32_t>(digit);
    if (++inGroup < 4) continue;
    bytes.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
    group = 0, inGroup = 0;
  }
  if (inGroup != 0) return std::nullopt;
  return Value::binary(std::move(bytes));
}

}  // namespace

std::optional<Value> xmlLeafValue(std::string_view element, std::string_view text) {
  if (element == "integer") return integerValue(text);
  if (element == "real") return realValue(text);
  if (element == "date") return dateValue(text);
  if (element == "data") return dataValue(text);
  return std::nullopt;
}

}  // namespace platform
