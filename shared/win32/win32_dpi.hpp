#pragma once

#include <windows.h>

// Dots per inch and the conversions that hang on them. The newer user32 calls are looked up at
// run time, so the programs still start where they are missing (older Windows, older Wine).
namespace shared::win32 {

inline constexpr UINT kDefaultDpi = 96;

// Asks for per-monitor (v2 where there is one) DPI awareness, in case the manifest's request
// was not honoured. Never fails: where nothing can be asked, the process stays as it is.
void DeclareDpiAwareness();

// The DPI the window is drawn at: its monitor's for a per-monitor aware process.
UINT WindowDpi(HWND window);

// 1440 twips to the inch.
int TwipsToPixels(int twips, UINT dpi);

// The outer size of a window whose client area is `client_width` x `client_height` pixels.
SIZE OuterSize(int client_width, int client_height, DWORD style, DWORD ex_style, UINT dpi);

}  // namespace shared::win32
