#include "win32_dpi.hpp"

namespace shared::win32 {
namespace {

// A user32 function that may not exist here; null when it doesn't. The detour through a
// parameterless function type is the documented way to convert FARPROC without a warning.
template <typename Function>
Function User32Function(const char* name) {
  static const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

// Windows 8.1's shcore.dll, from System32; null where it or the function is missing (Windows 7).
template <typename Function>
Function ShcoreFunction(const char* name) {
  static const HMODULE shcore =
      LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!shcore) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(shcore, name)));
}

}  // namespace

void DeclareDpiAwareness() {
  using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  if (const auto set_context = User32Function<SetContext>("SetProcessDpiAwarenessContext")) {
    if (set_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
    // Refused because the manifest has set the awareness already: that is the wanted outcome.
    if (GetLastError() == ERROR_ACCESS_DENIED) return;
    // Versions of Windows 10 before 1703 know per-monitor awareness without the v2 refinements.
    if (set_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return;
    if (GetLastError() == ERROR_ACCESS_DENIED) return;
  }
  using SetAware = BOOL(WINAPI*)();
  if (const auto set_aware = User32Function<SetAware>("SetProcessDPIAware")) set_aware();
}

UINT WindowDpi(HWND window) {
  using GetDpi = UINT(WINAPI*)(HWND);
  static const auto get_dpi = User32Function<GetDpi>("GetDpiForWindow");
  if (get_dpi && window) {
    if (const UINT dpi = get_dpi(window)) return dpi;
  }
  // Windows 8.1 and 10 before 1607: the DPI of the monitor the window is on, which is that
  // monitor's own for a process the manifest makes per-monitor aware (GetDpiForMonitor, Remarks,
  // Microsoft Learn). MDT_EFFECTIVE_DPI is 0.
  using GetMonitorDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto get_monitor_dpi = ShcoreFunction<GetMonitorDpi>("GetDpiForMonitor");
  if (get_monitor_dpi && window) {
    UINT dpi_x = 0;
    UINT dpi_y = 0;
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (get_monitor_dpi(monitor, 0, &dpi_x, &dpi_y) == S_OK && dpi_y > 0) return dpi_y;
  }
  // Windows 7: the system DPI, which is 96 for a process that isn't DPI aware.
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

SIZE OuterSize(int client_width, int client_height, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = User32Function<AdjustForDpi>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client_width, client_height};
  if (!adjust_for_dpi || !adjust_for_dpi(&rect, style, FALSE, ex_style, dpi)) {
    rect = {0, 0, client_width, client_height};
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace shared::win32
