// Feeds arbitrary texts to the coordinate conversion and checks it against the documented
// grammar and against the round trip the capture program relies on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "coordinate_text.hpp"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The grammar spelled out: digits, or zeros, a minus and digits ("-5", "00-5", "0-42"). The
// value is computed by the library's own string conversion on the digits, leading zeros removed.
std::optional<std::int32_t> Expected(std::string_view text) {
  bool negative = false;
  std::string_view digits = text;
  const std::size_t minus = text.find('-');
  if (minus != std::string_view::npos) {
    const std::string_view zeros = text.substr(0, minus);
    if (zeros.find_first_not_of('0') != std::string_view::npos) return std::nullopt;
    negative = true;
    digits = text.substr(minus + 1);
  }
  if (!AllDigits(digits)) return std::nullopt;
  const std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
  if (digits.size() > 10) return std::nullopt;
  long long value = std::stoll(std::string(digits));
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> value = shared::ToCoordinate(text);
  if (value) {
    Check(text.find_first_not_of("0123456789-") == std::string_view::npos,
          "accepted a character other than a digit or a minus");
    const std::string shown = shared::PadToFour(std::to_string(*value));
    Check(shared::ToCoordinate(shown) == value, "the padded value does not convert back");
  }
  Check(Expected(text) == value, "the result differs from the grammar");
  return 0;
}
