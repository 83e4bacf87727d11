// A plain Win32 window that logs every button press it receives, one line per press:
//   <unix_ms> <screen_x> <screen_y> <button>
// with buttons numbered as X numbers them (1 left, 2 middle, 3 right, 8 and 9 the side buttons).
// Under Wine, clicks a Windows program injects reach Wine windows only, so the end-to-end tests
// of the Windows programs put this window under the points they click.
//
// Usage: win32_click_recorder.exe [--geometry X Y W H] [--title TITLE] LOG_FILE
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

struct Options {
  int x = 0;
  int y = 0;
  int width = 400;
  int height = 300;
  std::wstring title = L"Click Recorder";
  std::wstring log_file;
};

std::FILE* g_log = nullptr;

bool ParseInt(const wchar_t* text, long low, long high, long& value) {
  wchar_t* end = nullptr;
  errno = 0;
  value = std::wcstol(text, &end, 10);
  return errno == 0 && end != text && *end == L'\0' && value >= low && value <= high;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--geometry" && i + 4 < argc) {
      long v[4];
      for (int k = 0; k < 4; ++k) {
        const long low = k < 2 ? -32768 : 1;
        if (!ParseInt(argv[i + 1 + k], low, 32767, v[k])) return false;
      }
      options.x = static_cast<int>(v[0]);
      options.y = static_cast<int>(v[1]);
      options.width = static_cast<int>(v[2]);
      options.height = static_cast<int>(v[3]);
      i += 4;
    } else if (arg == L"--title" && i + 1 < argc) {
      options.title = argv[++i];
    } else if (options.log_file.empty() && !arg.starts_with(L"--")) {
      options.log_file = arg;
    } else {
      return false;
    }
  }
  return !options.log_file.empty();
}

long long UnixMilliseconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  // FILETIME counts 100 ns steps from 1601-01-01; the Unix epoch is 11644473600 s later.
  return static_cast<long long>((ticks.QuadPart - 116444736000000000ULL) / 10000ULL);
}

void LogPress(HWND window, LPARAM where, unsigned button) {
  POINT point{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  ClientToScreen(window, &point);
  std::fprintf(g_log, "%lld %ld %ld %u\n", UnixMilliseconds(), point.x, point.y, button);
  std::fflush(g_log);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      LogPress(window, lparam, 1);
      return 0;
    case WM_MBUTTONDOWN:
      LogPress(window, lparam, 2);
      return 0;
    case WM_RBUTTONDOWN:
      LogPress(window, lparam, 3);
      return 0;
    case WM_XBUTTONDOWN:
      LogPress(window, lparam, HIWORD(wparam) == XBUTTON1 ? 8 : 9);
      return TRUE;
    case WM_MOUSEACTIVATE:
      // A press is logged without taking the activation from the program under test.
      return MA_NOACTIVATE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Options options;
  if (!ParseOptions(__argc, __wargv, options)) {
    std::fputs("usage: win32_click_recorder [--geometry X Y W H] [--title TITLE] LOG_FILE\n",
               stderr);
    return 2;
  }
  g_log = _wfopen(options.log_file.c_str(), L"ab");
  if (!g_log) {
    std::fprintf(stderr, "can't open the log file: %s\n", std::strerror(errno));
    return 1;
  }
  // Physical pixels, the same the programs under test see.
  SetProcessDPIAware();

  // No CS_DBLCLKS: a second press soon after the first still arrives as a press.
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = L"ClickRecorder";
  if (!RegisterClassW(&window_class)) return 1;

  // A frameless popup: its client area is exactly the rectangle asked for.
  HWND window = CreateWindowExW(WS_EX_NOACTIVATE, window_class.lpszClassName, options.title.c_str(),
                                WS_POPUP, options.x, options.y, options.width, options.height,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  // Shown without activation: the keyboard focus stays where the test put it.
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  std::fclose(g_log);
  return static_cast<int>(message.wParam);
}
