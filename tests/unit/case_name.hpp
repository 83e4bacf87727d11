#pragma once

#include <string>
#include <string_view>

// A parameterised case's name from the text it tries, so a failing line in the log says which
// case broke: "-2.5" is "minus2point5", "" is "empty", a tab is "tab", other bytes "xHH".
inline std::string CaseName(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (text.empty()) return "empty";
  std::string name;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      name += c;
      continue;
    }
    switch (c) {
      case ' ':
        name += "space";
        break;
      case '\t':
        name += "tab";
        break;
      case '-':
        name += "minus";
        break;
      case '+':
        name += "plus";
        break;
      case '.':
        name += "point";
        break;
      case ',':
        name += "comma";
        break;
      case '\r':
        name += "CR";
        break;
      case '\n':
        name += "LF";
        break;
      case '\0':
        name += "NUL";
        break;
      default:
        name = name + 'x' + kHex[byte >> 4] + kHex[byte & 0xF];
    }
  }
  return name;
}
