#include "win32_show_state.hpp"

namespace shared::win32 {
namespace {

bool startup_show_state_spent = false;

}  // namespace

void ShowAsStarted(HWND window) {
  // SW_SHOWDEFAULT: "the SW_ value specified in the STARTUPINFO structure" (ShowWindow's page),
  // and one of the values replaced under either reading, so it uses the state up for sure.
  ShowWindow(window, SW_SHOWDEFAULT);
  startup_show_state_spent = true;
  // A later call is never replaced: it brings a maximized form back to its own size.
  if (IsZoomed(window)) ShowWindow(window, SW_SHOWNORMAL);
}

void SpendStartupShowState() {
  if (startup_show_state_spent) return;
  startup_show_state_spent = true;
  // Captioned and unowned like the boxes, kept off the task bar, and layered with opacity 0:
  // invisible in whatever state the show state gives it, maximized included. If it can't be
  // made, only the guarantee is lost.
  HWND throwaway =
      CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_CAPTION, 0, 0,
                      1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!throwaway) return;
  SetLayeredWindowAttributes(throwaway, 0, 0, LWA_ALPHA);
  ShowWindow(throwaway, SW_SHOWNORMAL);
  DestroyWindow(throwaway);
}

}  // namespace shared::win32
