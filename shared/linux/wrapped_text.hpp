#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shared {

// FLTK's message boxes grow as wide as their longest line; a long message with a path in it
// would cover the screen. Breaks lines at the last space before `width` characters (a word longer
// than that, a path say, keeps its own line whole).
inline std::string WrappedText(std::string_view text, std::size_t width = 64) {
  std::string wrapped;
  std::size_t line_length = 0;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (line_length > 0 && line_length + 1 + word.size() > width) {
      wrapped += '\n';
      line_length = 0;
    } else if (line_length > 0) {
      wrapped += ' ';
      ++line_length;
    }
    wrapped += word;
    const std::size_t newline = word.rfind('\n');
    line_length =
        newline == std::string_view::npos ? line_length + word.size() : word.size() - newline - 1;
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
  }
  return wrapped;
}

}  // namespace shared
