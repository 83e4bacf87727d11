// Feeds arbitrary texts to the "How long" prompt's parser and checks the limits it gives against
// the floor computed in long double by strtold.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "interval_entry.hpp"

namespace {

using Kind = clicker::IntervalEntry::Kind;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal: blanks, an optional sign, digits, an optional point and digits, blanks; at
// least one digit. Returns the text between the blanks, or an empty view if it is not one, and
// counts the digits.
std::string_view PlainDecimal(std::string_view text, std::size_t& digits) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  digits = 0;
  bool point = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      ++digits;
    } else if (c == '.' && !point) {
      point = true;
    } else if (!(i == 0 && (c == '-' || c == '+'))) {
      return {};
    }
  }
  return digits == 0 ? std::string_view() : text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const clicker::IntervalEntry entry = clicker::ParseIntervalEntry(text);

  Check((entry.kind == Kind::kKeep) == text.empty(), "only an empty entry keeps the limit");
  if (entry.kind == Kind::kInvalid) Check(!entry.problem.empty(), "an invalid entry says nothing");

  std::size_t digits = 0;
  const std::string_view number = PlainDecimal(text, digits);
  if (number.empty()) {
    if (!text.empty()) Check(entry.kind == Kind::kInvalid, "took a text that is no number");
    return 0;
  }
  Check(entry.kind != Kind::kKeep, "kept the limit for a number");
  // Up to 18 digits, long double (64-bit mantissa) tells every such number from the next integer.
  if (digits > 18) return 0;
  const long double floor = std::floor(std::strtold(std::string(number).c_str(), nullptr));
  if (floor < -32768.0L || floor > 32767.0L) {
    Check(entry.kind == Kind::kInvalid, "took a number outside -32768..32767");
  } else {
    Check(entry.kind == Kind::kLimit, "refused a number within -32768..32767");
    Check(static_cast<long double>(entry.limit) == floor, "the limit is not the floor");
  }
  return 0;
}
