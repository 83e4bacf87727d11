#include "system_error_text.hpp"

#include <windows.h>

#include "win32_text.hpp"

namespace shared {

std::string SystemErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length ? std::wstring(text, length) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' ||
                           wide.back() == L' ')) {
    wide.pop_back();
  }
  return win32::Narrow(wide);
}

std::string LastSystemErrorText() { return SystemErrorText(GetLastError()); }

}  // namespace shared
