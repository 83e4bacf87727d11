#pragma once

#include "../form.hpp"

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace shared::win32 {

// Posted to the parent when a label is pressed: wParam is the label's control id, lParam the
// button code (kLeftButton, kRightButton, kMiddleButton).
inline constexpr UINT kLabelPressedMessage = WM_APP + 1;

// The native controls of one window, built from its ControlLayouts: STATIC labels that report
// presses and default push buttons, with their fonts and tooltips. Geometry is in twips and is
// laid out again whenever the window's DPI changes.
class NativeControls {
 public:
  NativeControls(HWND parent, const std::vector<ControlLayout>& layouts);
  ~NativeControls();
  NativeControls(const NativeControls&) = delete;
  NativeControls& operator=(const NativeControls&) = delete;

  // Places the controls and sets their fonts for `dpi`.
  void Layout(UINT dpi);

  HWND Find(std::string_view name) const;
  // The control with the given id, or null.
  const ControlLayout* LayoutOf(int id) const;
  // The first control in tab order that can take the keyboard focus, or null.
  HWND FirstFocusable() const;

  void SetToolTip(std::string_view name, const std::wstring& text);

 private:
  struct Control {
    const ControlLayout* layout;
    HWND window;
    int id;
    HFONT font = nullptr;
    bool has_tip = false;
    std::wstring tip;
  };

  // The index of the named control; controls_.size() when there is none.
  std::size_t IndexOf(std::string_view name) const;

  HWND parent_;
  UINT dpi_ = 0;
  std::vector<Control> controls_;  // in tab order
  HWND tooltip_ = nullptr;         // made when the first tip is set
};

}  // namespace shared::win32
