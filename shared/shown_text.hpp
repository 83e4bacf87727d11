#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shared {

// A text taken from outside (a file, say) quoted for a message to the user: at most `max_bytes`
// of it, then "...", in double quotes. Every byte outside printable ASCII appears as \xHH and a
// backslash as \\, so a NUL can't cut the message short and an invisible byte-order mark or CR
// shows as what it is: "\xEF\xBB\xBF0123".
std::string ShownText(std::string_view text, std::size_t max_bytes = 40);

}  // namespace shared
