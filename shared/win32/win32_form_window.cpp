#include "win32_form_window.hpp"

#include "../run_failure.hpp"
#include "system_error_text.hpp"
#include "win32_dpi.hpp"
#include "win32_input_box.hpp"
#include "win32_show_state.hpp"
#include "win32_text.hpp"

namespace shared::win32 {
namespace {

// Posted to the form when a dialog has closed: the keyboard goes back to the window the user was
// in, once the handler that opened the dialog has returned.
constexpr UINT kHandBackMessage = WM_APP + 2;

constexpr wchar_t kWindowClass[] = L"DesktopFormWindow";
constexpr UINT_PTR kTimerId = 1;

void RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  // The program's own icon (resource 1, where the release build puts it), else Windows' default.
  window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(1));
  if (!window_class.hIcon) window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);  // a second form in the process finds it registered
}

}  // namespace

FormWindow::FormWindow(Form& form)
    : form_(form),
      layout_(form.Layout()),
      // A fixed single frame; a tool window gets the small caption with only the close box.
      style_(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN |
             (layout_.tool_window ? 0 : WS_MINIMIZEBOX)),
      ex_style_(WS_EX_CONTROLPARENT | (layout_.always_on_top ? WS_EX_TOPMOST : 0) |
                (layout_.tool_window ? WS_EX_TOOLWINDOW : 0)) {
  RegisterWindowClass(WindowProc);
  // The size waits for the DPI, which is known once the window exists.
  window_ = CreateWindowExW(ex_style_, kWindowClass, Widen(layout_.caption).c_str(), style_,
                            CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (!window_) throw RunFailure("The window could not be made: " + LastSystemErrorText() + ".");
  try {
    controls_ = std::make_unique<NativeControls>(window_, layout_.controls);
  } catch (...) {
    // No destructor runs for a half-made object: the window goes now, and the quit its
    // destruction posts must not close the box that reports the failure.
    DestroyWindow(window_);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    throw;
  }
  RECT outer{};
  GetWindowRect(window_, &outer);
  ApplyDpi(WindowDpi(window_), {outer.left, outer.top});
}

FormWindow::~FormWindow() {
  ended_ = true;
  if (window_) DestroyWindow(window_);
}

void FormWindow::LoadAndShow() {
  RunHandler([&] { form_.Form_Load(*this); });
  if (ended_) return;
  focus_ = controls_->FirstFocusable();
  if (layout_.activate_on_show) {
    // The way the shortcut that started the program asks (win32_show_state.hpp).
    ShowAsStarted(window_);
    if (focus_ && IsWindowVisible(window_) && !IsIconic(window_)) SetFocus(focus_);
  } else {
    // Shown where Form_Load put it, in front and without the keyboard: keys the user types go on
    // reaching the window they were typing in. Activation later gives focus_ the focus. Not by
    // ShowWindow, whose first call may take the shortcut's show state and activate.
    SetWindowPos(window_, layout_.always_on_top ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  }
  UpdateWindow(window_);
  if (layout_.timer_interval_ms > 0 &&
      !SetTimer(window_, kTimerId, static_cast<UINT>(layout_.timer_interval_ms), nullptr)) {
    // A form whose timer never ticks can't do its work: ended and reported like a failure.
    failure_ = "The window's timer could not be started: " + LastSystemErrorText() + ".";
    Finish();
  }
}

template <typename Handler>
void FormWindow::RunHandler(Handler&& handler) {
  if (ended_ || handler_running_) return;
  handler_running_ = true;
  try {
    handler();
  } catch (...) {
    // Nothing may unwind through user32's frames.
    failure_ = CaughtFailureText();
  }
  handler_running_ = false;
  if (failure_ || close_requested_) {
    Finish();
  } else if (window_) {
    // A tick that fell due while the handler ran is dropped, like those its prompt's loop saw.
    MSG stale;
    while (PeekMessageW(&stale, window_, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
  }
}

void FormWindow::Finish() {
  ended_ = true;
  if (!window_) return;
  KillTimer(window_, kTimerId);  // a tick already due is refused by ended_
  DestroyWindow(window_);
}

void FormWindow::RequestClose() {
  // A handler still running (a prompt is open) finishes first; the window closes after it.
  if (handler_running_) {
    close_requested_ = true;
  } else {
    Finish();
  }
}

SIZE FormWindow::OuterSizeAt(UINT dpi) const {
  return OuterSize(TwipsToPixels(layout_.client_width, dpi),
                   TwipsToPixels(layout_.client_height, dpi), style_, ex_style_, dpi);
}

void FormWindow::ApplyDpi(UINT dpi, ::POINT origin) {
  dpi_ = dpi;
  // Before the move: WM_GETMINMAXINFO, which the move asks, holds the window to this size.
  outer_size_ = OuterSizeAt(dpi);
  SetWindowPos(window_, nullptr, origin.x, origin.y, outer_size_.cx, outer_size_.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (controls_) controls_->Layout(dpi);
}

void FormWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  const ::POINT origin = OuterOrigin();
  // While the user drags the window (between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE) a new DPI
  // is the drag's, onto another monitor.
  const bool placed_by_program =
      last_move_ && !size_move_start_ &&
      (placing_ || (placed_at_ && placed_at_->x == origin.x && placed_at_->y == origin.y));
  dpi_ = dpi;
  outer_size_ = OuterSizeAt(dpi);
  // Windows' rectangle keeps the window under the pointer while it is dragged across monitors;
  // its size is ours (WM_GETDPISCALEDSIZE), and where Windows scaled it by itself the size limits
  // bring it back to ours.
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (controls_) controls_->Layout(dpi);
  // A window the program placed (by Move) and nobody moved since goes back to its place, given in
  // twips, at the new scale. Moving there may change the DPI once more; that change finds the
  // window in place already. A window the user is dragging, or has moved, stays where Windows
  // put it: else it could never be dragged onto a monitor of another DPI.
  if (placed_by_program && !replacing_) {
    replacing_ = true;
    Move(last_move_->x, last_move_->y);
    replacing_ = false;
  }
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCCREATE) self->window_ = window;
  // Nothing may unwind through user32's frames: an error outside the handlers (laying out for a
  // new DPI, say) ends the program like a handler's failure.
  try {
    return self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    if (!self->failure_) self->failure_ = CaughtFailureText();
  }
  self->RequestClose();  // at once, or after the handler that is running
  return 0;
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  switch (message) {
    case WM_TIMER:
      if (wparam != kTimerId) break;
      RunHandler([&] { form_.Timer1_Timer(*this); });
      return 0;
    case kHandBackMessage:
      HandBack();
      return 0;
    case kLabelPressedMessage:
      if (const ControlLayout* layout =
              controls_ ? controls_->LayoutOf(static_cast<int>(wparam)) : nullptr) {
        const int button = static_cast<int>(lparam);
        RunHandler([&] { form_.MouseDown(layout->name, button, *this); });
      }
      return 0;
    case WM_COMMAND:
      if (controls_) OnCommand(wparam, lparam);
      return 0;
    case WM_CLOSE:
      RequestClose();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) focus_ = focus;
      }
      break;  // on activation DefWindowProc focuses the window, and WM_SETFOCUS passes it on
    case WM_SETFOCUS:
      if (focus_ && IsWindow(focus_)) SetFocus(focus_);
      return 0;
    case WM_MOUSEACTIVATE:
      // A window shown without the keyboard doesn't take it on a press in its client area
      // either: MA_NOACTIVATE "does not activate the window, and does not discard the mouse
      // message" (WM_MOUSEACTIVATE, Microsoft Learn), so the press still reaches the control.
      // A press on the caption activates it as any window's does.
      if (!layout_.activate_on_show && LOWORD(lparam) == HTCLIENT) return MA_NOACTIVATE;
      break;
    case WM_GETMINMAXINFO:
      // The form has one size. DefWindowProc would widen any captioned window to the system's
      // minimum tracking size, and a maximized window (a shortcut set to "Maximized") would
      // fill the screen.
      if (outer_size_.cx > 0) {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
        const ::POINT size{outer_size_.cx, outer_size_.cy};
        limits->ptMinTrackSize = size;
        limits->ptMaxTrackSize = size;
        limits->ptMaxSize = size;
      }
      return 0;
    case WM_GETDPISCALEDSIZE: {
      // The size for the DPI the window is about to get, asked before WM_DPICHANGED: twips
      // scale with the DPI, the frame does not.
      *reinterpret_cast<SIZE*>(lparam) = OuterSizeAt(static_cast<UINT>(wparam));
      return TRUE;
    }
    case WM_ENTERSIZEMOVE:
      // The window "enters the moving or sizing modal loop when the user clicks the window's
      // title bar" (WM_ENTERSIZEMOVE, Microsoft Learn): a click alone, which moves nothing, comes
      // here too. Whether the user moved the window is known at WM_EXITSIZEMOVE.
      GetWindowRect(window, &size_move_start_.emplace());
      break;
    case WM_EXITSIZEMOVE:
      // Moved by the user, with the mouse or the keyboard: the place is theirs.
      if (RECT now{};
          size_move_start_ && GetWindowRect(window, &now) &&
          (now.left != size_move_start_->left || now.top != size_move_start_->top ||
           now.right != size_move_start_->right || now.bottom != size_move_start_->bottom)) {
        placed_at_.reset();
      }
      size_move_start_.reset();
      break;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_DESTROY:
      ended_ = true;
      KillTimer(window, kTimerId);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void FormWindow::OnCommand(WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam);
  const ControlLayout* layout = controls_->LayoutOf(id);
  if (layout && layout->kind == ControlKind::kPushButton) {
    // Mouse, Space, and Return on the focused button (through IsDialogMessage) all land here.
    if (HIWORD(wparam) == BN_CLICKED &&
        reinterpret_cast<HWND>(lparam) == controls_->Find(layout->name)) {
      RunHandler([&] { form_.Click(layout->name, *this); });
    }
  } else if (id == IDCANCEL && layout_.close_on_escape) {
    RequestClose();  // Escape, sent by the dialog manager; a form without it ignores the key
  }
}

std::string FormWindow::Text(std::string_view control) const {
  HWND window = controls_->Find(control);
  if (!window) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void FormWindow::SetText(std::string_view control, std::string_view text) {
  if (HWND window = controls_->Find(control)) SetWindowTextW(window, Widen(text).c_str());
}

void FormWindow::SetToolTip(std::string_view control, std::string_view text) {
  controls_->SetToolTip(control, Widen(text));
}

void FormWindow::Move(int left, int top) {
  if (!window_) return;
  last_move_ = ::POINT{left, top};
  const bool was_placing = placing_;
  placing_ = true;  // a DPI change on the way lands where this asks
  const UINT flags = SWP_NOSIZE | SWP_NOACTIVATE | (layout_.always_on_top ? 0 : SWP_NOZORDER);
  HWND order = layout_.always_on_top ? HWND_TOPMOST : nullptr;
  const ::POINT origin{TwipsToPixels(left, dpi_), TwipsToPixels(top, dpi_)};
  SetWindowPos(window_, order, origin.x, origin.y, 0, 0, flags);
  // Landing on a monitor with another DPI: a visible window hears WM_DPICHANGED, a hidden one
  // may not, so look.
  const UINT dpi = WindowDpi(window_);
  if (dpi != dpi_) {
    ApplyDpi(dpi, {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi)});
  }
  placed_at_ = OuterOrigin();
  placing_ = was_placing;
}

::POINT FormWindow::OuterOrigin() const {
  RECT outer{};
  GetWindowRect(window_, &outer);
  return {outer.left, outer.top};
}

std::string FormWindow::InputBox(std::string_view message, std::string_view title) {
  if (ended_) return {};
  SpendStartupShowState();
  const DialogKeyboard keyboard(*this);
  return Narrow(ShowInputBox(window_, Widen(message), Widen(title)));
}

void FormWindow::MessageBox(std::string_view message, std::string_view title) {
  if (ended_) return;
  SpendStartupShowState();
  const DialogKeyboard keyboard(*this);
  MessageBoxW(window_, Widen(message).c_str(), Widen(title).c_str(), MB_OK);
}

void FormWindow::End() { Finish(); }

// When a dialog closes, Windows activates its owner, which doesn't take the keyboard: the window
// the user was in gets it back instead, once, after the last dialog. A dialog that follows at
// once (the message about a refused entry, after the prompt) takes a pending hand-back over, so
// the user's window doesn't flicker between the two. This process may still set the foreground
// window then: it "received the last input event", the key or press that closed the dialog
// (SetForegroundWindow, Remarks, Microsoft Learn).
FormWindow::DialogKeyboard::DialogKeyboard(FormWindow& form) : form_(form) {
  before_ = form.hand_back_ ? form.hand_back_ : GetForegroundWindow();
  form.hand_back_ = nullptr;
}

FormWindow::DialogKeyboard::~DialogKeyboard() {
  if (!before_ || before_ == form_.window_ || !form_.window_) return;
  form_.hand_back_ = before_;
  PostMessageW(form_.window_, kHandBackMessage, 0, 0);
}

void FormWindow::HandBack() {
  HWND before = hand_back_;
  hand_back_ = nullptr;
  if (before && IsWindow(before) && GetForegroundWindow() == window_) SetForegroundWindow(before);
}

}  // namespace shared::win32
