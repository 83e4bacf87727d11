#include "win32_controls.hpp"

#include <commctrl.h>

#include <algorithm>

#include "../run_failure.hpp"
#include "system_error_text.hpp"
#include "win32_dpi.hpp"
#include "win32_text.hpp"

namespace shared::win32 {
namespace {

// Ids below 100 are left to the dialog manager: IDOK and IDCANCEL arrive for Return and Escape.
constexpr int kFirstControlId = 100;
constexpr UINT_PTR kLabelSubclassId = 1;

// The size comctl32 5.8 and 6 both accept.
constexpr UINT kToolInfoSize = offsetof(TTTOOLINFOW, lParam) + sizeof(LPARAM);

// Turns a label's button presses into kLabelPressedMessage for its parent. A double click's
// second press counts as a press. The message is posted, so the handler runs from the parent's
// own dispatch and may destroy the window without pulling it from under this procedure.
LRESULT CALLBACK LabelProc(HWND label, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                           DWORD_PTR) {
  int button = 0;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      button = kLeftButton;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      button = kRightButton;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      button = kMiddleButton;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(label, LabelProc, kLabelSubclassId);
      break;
  }
  if (button) {
    PostMessageW(GetParent(label), kLabelPressedMessage, static_cast<WPARAM>(GetDlgCtrlID(label)),
                 button);
    return 0;
  }
  return DefSubclassProc(label, message, wparam, lparam);
}

// The default GUI font's face and weight at 8 points, so it scales with the DPI like any other.
FontStyle DefaultFont() {
  LOGFONTW stock{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock);
  FontStyle font;
  font.face = Narrow(stock.lfFaceName);
  font.points = 8;
  font.weight = stock.lfWeight ? static_cast<int>(stock.lfWeight) : FW_NORMAL;
  return font;
}

// The outline font of a face that Windows has as a bitmap font. "MS Sans Serif" is a bitmap font
// with a few sizes only, and OUT_TT_PRECIS prefers an outline font only when one has the same
// name (CreateFont's page): so it is asked for by the name of its outline version, "Microsoft
// Sans Serif", of the same design and metrics, which Windows has had since 2000.
std::wstring OutlineFace(const std::string& face) {
  return face == "MS Sans Serif" ? std::wstring(L"Microsoft Sans Serif") : Widen(face);
}

// Scales with the DPI: an outline font at the size the DPI gives the points.
HFONT MakeFont(const FontStyle& font, UINT dpi) {
  return CreateFontW(-MulDiv(font.points, static_cast<int>(dpi), 72), 0, 0, 0, font.weight, FALSE,
                     FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, OutlineFace(font.face).c_str());
}

}  // namespace

NativeControls::NativeControls(HWND parent, const std::vector<ControlLayout>& layouts)
    : parent_(parent) {
  std::vector<const ControlLayout*> order;
  for (const ControlLayout& layout : layouts) order.push_back(&layout);
  std::stable_sort(order.begin(), order.end(), [](const ControlLayout* a, const ControlLayout* b) {
    return a->tab_index < b->tab_index;
  });
  // Created in tab order, which is the order the dialog manager's Tab key follows.
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  int id = kFirstControlId;
  for (const ControlLayout* layout : order) {
    const bool label = layout->kind == ControlKind::kLabel;
    const DWORD style = WS_CHILD | WS_VISIBLE |
                        (label ? SS_LEFT | SS_NOTIFY | SS_NOPREFIX : BS_DEFPUSHBUTTON | WS_TABSTOP);
    const std::wstring text = Widen(layout->text);
    HWND window = CreateWindowExW(0, label ? L"STATIC" : L"BUTTON", text.c_str(), style, 0, 0, 0, 0,
                                  parent, reinterpret_cast<HMENU>(INT_PTR{id}), instance, nullptr);
    // Out of window handles, say: a form without one of its controls can't be used as meant.
    if (!window) {
      throw RunFailure("The window's control \"" + layout->name +
                       "\" could not be made: " + LastSystemErrorText() + ".");
    }
    if (label) SetWindowSubclass(window, LabelProc, kLabelSubclassId, 0);
    controls_.push_back({.layout = layout,
                         .window = window,
                         .id = id,
                         .font = nullptr,
                         .has_tip = false,
                         .tip = {}});
    ++id;
  }
}

NativeControls::~NativeControls() {
  // The windows go with their parent; the fonts are ours. A font still selected into a live
  // control is not deleted.
  for (Control& control : controls_) {
    if (control.font && !IsWindow(control.window)) DeleteObject(control.font);
  }
}

void NativeControls::Layout(UINT dpi) {
  const FontStyle default_font = DefaultFont();
  for (Control& control : controls_) {
    const ControlLayout& layout = *control.layout;
    SetWindowPos(control.window, nullptr, TwipsToPixels(layout.left, dpi),
                 TwipsToPixels(layout.top, dpi), TwipsToPixels(layout.width, dpi),
                 TwipsToPixels(layout.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    if (dpi == dpi_ && control.font) continue;
    HFONT font = MakeFont(layout.font ? *layout.font : default_font, dpi);
    if (!font) continue;
    SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (control.font) DeleteObject(control.font);
    control.font = font;
  }
  dpi_ = dpi;
  if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 4 * static_cast<LPARAM>(dpi));
}

std::size_t NativeControls::IndexOf(std::string_view name) const {
  std::size_t index = 0;
  while (index < controls_.size() && controls_[index].layout->name != name) ++index;
  return index;
}

HWND NativeControls::Find(std::string_view name) const {
  const std::size_t index = IndexOf(name);
  return index < controls_.size() ? controls_[index].window : nullptr;
}

const ControlLayout* NativeControls::LayoutOf(int id) const {
  for (const Control& control : controls_) {
    if (control.id == id) return control.layout;
  }
  return nullptr;
}

HWND NativeControls::FirstFocusable() const {
  for (const Control& control : controls_) {
    if (control.layout->kind == ControlKind::kPushButton) return control.window;
  }
  return nullptr;
}

void NativeControls::SetToolTip(std::string_view name, const std::wstring& text) {
  const std::size_t index = IndexOf(name);
  if (index == controls_.size()) return;
  Control* control = &controls_[index];
  if (control->has_tip && control->tip == text) return;
  if (!tooltip_) {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_) return;
    // Any maximum width makes the tip honour line breaks; four inches keeps lines readable.
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 4 * static_cast<LPARAM>(dpi_));
  }
  control->tip = text;
  TTTOOLINFOW tool{};
  tool.cbSize = kToolInfoSize;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent_;
  tool.uId = reinterpret_cast<UINT_PTR>(control->window);
  tool.lpszText = control->tip.data();  // copied by the tooltip
  if (control->has_tip) {
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // TTM_UPDATETIPTEXT is documented to set the text, TTM_UPDATE to "force the current tool to
    // be redrawn" (Microsoft Learn, Tooltip messages): together a tip on show gives the new count.
    SendMessageW(tooltip_, TTM_UPDATE, 0, 0);
  } else {
    control->has_tip = SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

}  // namespace shared::win32
