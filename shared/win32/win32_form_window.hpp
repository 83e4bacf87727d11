#pragma once

#include "../form.hpp"

#include <windows.h>
// <windows.h> renames MessageBox to MessageBoxW, which would hide Desktop::MessageBox.
#undef MessageBox

#include <memory>
#include <optional>
#include <string>

#include "win32_controls.hpp"

namespace shared::win32 {

// A form's top-level window and the Desktop its handlers see. Runs the handlers one at a time:
// a tick or press that arrives while a handler runs (inside a prompt's own message loop) is
// dropped, and none runs once the program has ended. A failure thrown by a handler ends the
// program and is kept for the caller to report.
class FormWindow final : public Desktop {
 public:
  // Builds the window hidden, with its controls laid out at its DPI. Throws RunFailure when
  // Windows refuses to make the window.
  explicit FormWindow(Form& form);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Calls Form_Load; then, unless the program has ended, shows the window, gives the first
  // control in tab order the focus and starts the timer.
  void LoadAndShow();

  // The window while it exists, for the message loop's dialog keys; null after it is destroyed.
  HWND Handle() const { return window_; }
  // The failure a handler threw, if one did.
  const std::optional<std::string>& Failure() const { return failure_; }

  std::string Text(std::string_view control) const override;
  void SetText(std::string_view control, std::string_view text) override;
  void SetToolTip(std::string_view control, std::string_view text) override;
  void Move(int left, int top) override;
  std::string InputBox(std::string_view message, std::string_view title) override;
  void MessageBox(std::string_view message, std::string_view title) override;
  void End() override;

 private:
  // Around a dialog opened from the form: see the definition.
  class DialogKeyboard {
   public:
    explicit DialogKeyboard(FormWindow& form);
    ~DialogKeyboard();
    DialogKeyboard(const DialogKeyboard&) = delete;
    DialogKeyboard& operator=(const DialogKeyboard&) = delete;

   private:
    FormWindow& form_;
    HWND before_ = nullptr;
  };

  void HandBack();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  template <typename Handler>
  void RunHandler(Handler&& handler);
  void OnCommand(WPARAM wparam, LPARAM lparam);
  void RequestClose();
  // Stops the timer and destroys the window, which ends the message loop.
  void Finish();
  // The window's size, frame included, for `dpi`.
  SIZE OuterSizeAt(UINT dpi) const;
  // Sizes the window and lays out its controls for `dpi`, the top-left corner at `origin`.
  void ApplyDpi(UINT dpi, ::POINT origin);
  // Takes Windows' rectangle for the new DPI, lays out again and goes back to the last Move
  // unless the window was moved by someone else since.
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  // The window's outer top-left corner, in pixels.
  ::POINT OuterOrigin() const;

  Form& form_;
  const FormLayout& layout_;
  DWORD style_;
  DWORD ex_style_;
  HWND window_ = nullptr;
  UINT dpi_ = 0;
  SIZE outer_size_{};  // the window's size at dpi_, frame included
  std::unique_ptr<NativeControls> controls_;
  HWND focus_ = nullptr;              // the control to give the focus back to on activation
  std::optional<::POINT> last_move_;  // twips, as the handler asked
  std::optional<::POINT>
      placed_at_;  // pixels, where the last Move put it; none once the user moves it
  std::optional<RECT> size_move_start_;  // the window's rectangle as the user's move began
  bool placing_ = false;                 // Move is running
  bool replacing_ = false;               // Move called from OnDpiChanged is running
  bool handler_running_ = false;
  HWND hand_back_ = nullptr;  // the window the keyboard goes back to after the last dialog
  bool ended_ = false;
  bool close_requested_ = false;
  std::optional<std::string> failure_;
};

}  // namespace shared::win32
