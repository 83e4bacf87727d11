#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shared {

// Left-pads a coordinate text with zeros to four characters, counting every character, the minus
// sign included: "7" -> "0007", "-5" -> "00-5". Empty texts and texts of four or more characters
// stay as they are.
std::string PadToFour(std::string text);

// Converts a coordinate text to a 32-bit signed integer. Accepted: decimal digits with optional
// leading zeros and one optional minus sign, which may stand after the zeros the capture program
// pads with ("00-5" is -5, "0-42" is -42). Anything else, the empty text included, or a value
// outside the 32-bit range, gives nullopt.
std::optional<std::int32_t> ToCoordinate(std::string_view text);

}  // namespace shared
