#pragma once

#include <windows.h>

#include <string>

namespace shared::win32 {

// A modal prompt owned by `owner`: `message` above an empty entry line, OK (the default) and
// Cancel. Returns the entered text; empty after Cancel, Escape or the close box. Throws
// RunFailure when Windows can't make the prompt.
std::wstring ShowInputBox(HWND owner, const std::wstring& message, const std::wstring& title);

}  // namespace shared::win32
