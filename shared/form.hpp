#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pointer_services.hpp"

// A window described once, as data, and the handlers the platform calls on it. Each platform
// builds native controls from a FormLayout; no platform code knows which program it runs.
namespace shared {

enum class ControlKind { kLabel, kPushButton };

struct FontStyle {
  std::string face;  // the platform takes its nearest match
  int points = 8;
  int weight = 400;  // 700 is bold
};

// Geometry in twips: 1/1440 inch, 15 to a pixel at 96 dots per inch.
struct ControlLayout {
  std::string name;
  ControlKind kind = ControlKind::kLabel;
  std::string text;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int tab_index = 0;  // the control with the lowest index holds the focus when the window opens
  std::optional<FontStyle> font;
};

struct FormLayout {
  std::string caption;
  int client_width = 0;  // twips
  int client_height = 0;
  int timer_interval_ms = 0;  // Timer1, enabled from creation
  bool always_on_top = false;
  bool tool_window = false;  // a small frame, kept out of the task bar
  // Shown on every workspace (Linux; Windows gives programs no call for its virtual desktops).
  bool every_workspace = false;
  // Escape closes the window like its close box. Off for a window that must not end by a stray key.
  bool close_on_escape = false;
  // Showing the window makes it the active one, with the keyboard. Off for a window that must not
  // take the keys from the window the user is typing in.
  bool activate_on_show = true;
  std::vector<ControlLayout> controls;
};

// Mouse button codes reported to MouseDown handlers.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

// What a handler may ask of the window it runs in.
class Desktop {
 public:
  virtual ~Desktop() = default;

  virtual std::string Text(std::string_view control) const = 0;
  virtual void SetText(std::string_view control, std::string_view text) = 0;
  virtual void SetToolTip(std::string_view control, std::string_view text) = 0;

  // Moves the window's outer top-left corner to (left, top), twips in screen coordinates.
  virtual void Move(int left, int top) = 0;

  // A modal prompt with `message` above an empty entry line, titled `title`. Returns the entered
  // text; empty when the user cancels. Ticks that fall due while the prompt is open are dropped.
  virtual std::string InputBox(std::string_view message, std::string_view title) = 0;

  // Tells the user something without ending the program; modal, ticks falling due meanwhile are
  // dropped.
  virtual void MessageBox(std::string_view message, std::string_view title) = 0;

  // Ends the program at once: the handler that asks returns, and no other handler runs.
  virtual void End() = 0;
};

// A program's one window. The platform calls Form_Load before showing the window, Timer1_Timer
// once per interval, Click for a button's activation by mouse or keyboard, and MouseDown for a
// press on a label. Handlers run one at a time on the program's only thread. Anything thrown from
// one of them ends the program after it has been reported: a RunFailure in its own words, any
// other exception as an unexpected error (CaughtFailureText).
class Form {
 public:
  virtual ~Form() = default;
  virtual const FormLayout& Layout() const = 0;
  virtual void Form_Load(Desktop&) {}
  virtual void Timer1_Timer(Desktop&) {}
  virtual void Click(std::string_view /*control*/, Desktop&) {}
  virtual void MouseDown(std::string_view /*control*/, int /*button*/, Desktop&) {}
};

using FormFactory = std::function<std::unique_ptr<Form>(Pointer& pointer)>;

// Runs one program: opens the system pointer, makes the form, builds its window, calls
// Form_Load, shows the window and dispatches events until the program ends. Returns the process
// exit status: 0 after End() or a closed window; 1 after a RunFailure (or any other exception),
// thrown by the factory or any handler, which is reported first (ReportFailure, titled
// `program_name`). Failures are caught only where they end the program: here, and in each
// platform's window around every handler it calls, which hands the failure back to Run.
int RunProgram(std::string_view program_name, const FormFactory& make_form);

// Tells the user about a failure the program ends after: a modal message box (where a desktop
// can be reached) and the same text, one line, on standard error.
void ReportFailure(std::string_view message, std::string_view title);

}  // namespace shared
