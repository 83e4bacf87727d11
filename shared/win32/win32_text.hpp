#pragma once

#include <string>
#include <string_view>

// The programs speak UTF-8; user32's wide calls speak UTF-16.
namespace shared::win32 {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace shared::win32
