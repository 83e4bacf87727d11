#include "interval_entry.hpp"

#include <cstdint>
#include <limits>

#include "shown_text.hpp"

namespace clicker {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

IntervalEntry Invalid(std::string problem) {
  return {IntervalEntry::Kind::kInvalid, 0, std::move(problem)};
}

}  // namespace

IntervalEntry ParseIntervalEntry(std::string_view text) {
  if (text.empty()) return {};

  std::string_view rest = text;
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);

  // The entry quoted with its control bytes shown, as every message quotes what the user gave.
  const std::string shown = shared::ShownText(text);
  const std::string not_a_number = shown +
                                   " is not a number. Enter a number from -32768 to 32767; "
                                   "decimals are rounded down (7.9 gives 7).";

  bool negative = false;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }

  // The whole part, held only as far as it matters: past 32768 the entry is out of range anyway.
  constexpr std::int32_t kCap = 100000;
  std::int32_t whole = 0;
  std::size_t whole_digits = 0;
  while (!rest.empty() && IsDigit(rest.front())) {
    if (whole < kCap) whole = whole * 10 + (rest.front() - '0');
    ++whole_digits;
    rest.remove_prefix(1);
  }

  bool fraction_above_zero = false;
  std::size_t fraction_digits = 0;
  if (!rest.empty() && rest.front() == '.') {
    rest.remove_prefix(1);
    while (!rest.empty() && IsDigit(rest.front())) {
      fraction_above_zero = fraction_above_zero || rest.front() != '0';
      ++fraction_digits;
      rest.remove_prefix(1);
    }
  }

  if (!rest.empty() || whole_digits + fraction_digits == 0) return Invalid(not_a_number);

  // The floor: a negative number with a fraction rounds down, away from zero.
  std::int32_t floor = negative ? -whole : whole;
  if (negative && fraction_above_zero) --floor;

  if (floor < std::numeric_limits<std::int16_t>::min() ||
      floor > std::numeric_limits<std::int16_t>::max()) {
    return Invalid(shown + " is outside -32768 to 32767.");
  }
  return {IntervalEntry::Kind::kLimit, static_cast<std::int16_t>(floor), {}};
}

}  // namespace clicker
