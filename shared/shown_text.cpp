#include "shown_text.hpp"

namespace shared {

std::string ShownText(std::string_view text, std::size_t max_bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown = "\"";
  for (const char c : text.substr(0, max_bytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      shown += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    }
  }
  if (text.size() > max_bytes) shown += "...";
  return shown + "\"";
}

}  // namespace shared
