#include "shown_text.hpp"

namespace shared {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& shown, unsigned char byte) {
  shown += "\\x";
  shown += kHex[byte >> 4];
  shown += kHex[byte & 0xF];
}

// The length of the well-formed UTF-8 sequence `text` starts with and the code point it holds;
// length 0 where it starts with a byte that begins none (a stray continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF, a sequence cut short).
struct Sequence {
  std::size_t length = 0;
  char32_t code_point = 0;
};

Sequence FirstSequence(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  char32_t code_point = 0;
  char32_t smallest = 0;  // below it, the sequence is an overlong form
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code_point = lead & 0x1F, smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code_point = lead & 0x0F, smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code_point = lead & 0x07, smallest = 0x10000;
  } else {
    return {};
  }
  if (text.size() < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) return {};
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  if (code_point < smallest || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return {};
  }
  return {length, code_point};
}

// Characters that would act on the message or vanish in it rather than show: the C1 controls,
// the byte-order mark and the zero-width and direction marks.
bool IsInvisible(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

}  // namespace

std::string ShownText(std::string_view text, std::size_t max_bytes) {
  std::string shown = "\"";
  const std::string_view kept = text.substr(0, max_bytes);
  std::size_t at = 0;
  while (at < kept.size()) {
    const auto byte = static_cast<unsigned char>(kept[at]);
    if (byte == '\\') {
      shown += "\\\\";
      ++at;
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += kept[at];
      ++at;
    } else if (const Sequence sequence = FirstSequence(text.substr(at));
               sequence.length > 0 && !IsInvisible(sequence.code_point)) {
      // A character the limit would cut in two is left out whole, and "..." says so.
      if (at + sequence.length > kept.size()) break;
      shown += kept.substr(at, sequence.length);
      at += sequence.length;
    } else {
      AppendEscaped(shown, byte);
      ++at;
    }
  }
  if (at < text.size()) shown += "...";
  return shown + "\"";
}

}  // namespace shared
