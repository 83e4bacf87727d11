#include "coordinate_text.hpp"

#include <limits>

namespace shared {

std::string PadToFour(std::string text) {
  constexpr std::size_t kWidth = 4;
  if (text.empty() || text.size() >= kWidth) return text;
  return std::string(kWidth - text.size(), '0') + text;
}

std::optional<std::int32_t> ToCoordinate(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == '0') ++i;

  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  } else {
    i = 0;  // no minus: the zeros were ordinary digits, and "0" alone must still convert
  }

  if (i == text.size()) return std::nullopt;

  // Accumulate as a negative number: its range holds the most negative 32-bit value.
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 - (c - '0');
    if (value < kMin) return std::nullopt;
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace shared
