#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shared {

// A text taken from outside (a file, an entry the user typed) quoted for a message to the user:
// at most `max_bytes` of it, then "...", in double quotes. Printable characters, in any script,
// show as they were typed: "١٥". A control byte, a byte that is not part of well-formed UTF-8,
// a character that shows nothing or changes what is around it (a format character or a
// default-ignorable one), and a combining mark with no character before it to draw onto appear
// as \xHH per byte, and a backslash as \\, so a NUL can't cut the message short and a byte-order
// mark or CR shows as what it is: "\xEF\xBB\xBF0123".
std::string ShownText(std::string_view text, std::size_t max_bytes = 40);

}  // namespace shared
