#pragma once

#include <FL/Fl_Window.H>

#include <vector>

// Window manager hints FLTK 1.3 has no call for: staying above other windows, the small frame of
// a tool window kept out of the task bar and pagers, staying on every workspace, leaving the
// keyboard where it is, and handing it to a dialog the user opened. Harmless where no window
// manager runs.
namespace shared::fltk_form {

class WindowHints {
 public:
  // Looks the hint names up on FLTK's display, which must be open, so that Apply adds nothing but
  // property changes after the window's map request.
  WindowHints(bool always_on_top, bool tool_window, bool every_workspace, bool take_focus);

  // Call right after the window's first show(), with the server grabbed from before that show()
  // (ServerGrab): a window manager then reads the hints with the map request, before it decides
  // where the window goes and whether it gets the keyboard.
  void Apply(Fl_Window& window) const;

 private:
  bool tool_window_;
  bool every_workspace_;
  bool take_focus_;
  std::vector<unsigned long> states_;  // Atoms for _NET_WM_STATE
  unsigned long net_wm_state_ = 0;
  unsigned long net_wm_window_type_ = 0;
  unsigned long utility_type_ = 0;
  unsigned long net_wm_desktop_ = 0;
};

// The keyboard for a dialog the user opened with a press or a key (the X server's time of that
// event, FLTK's fl_event_time), and back to the window the user was in once it closes. Made just
// before the dialog's first show(); ShowAndActivate() in place of that show(), Restore() after
// it is hidden. With no user event to go by (time 0), the window manager decides alone.
class DialogFocus {
 public:
  explicit DialogFocus(unsigned long user_time);

  // Shows the window with the user's time as its _NET_WM_USER_TIME, waits until it can be seen,
  // and asks for the keyboard: the window manager through _NET_ACTIVE_WINDOW, or the X server
  // when no window manager answers.
  void ShowAndActivate(Fl_Window& window) const;

  // Asks the window manager to give the keyboard back to the window that had it before, once
  // the event loop runs again and unless another dialog opens first.
  void Restore() const;

 private:
  unsigned long user_time_;
  unsigned long active_before_ = 0;  // the managed window that had the keyboard; 0 for none
  unsigned long own_active_ = 0;     // the same, where it is one of this program's; else 0
  bool window_manager_ = false;
};

// Whether an EWMH window manager runs on FLTK's display (its _NET_SUPPORTING_WM_CHECK).
bool WindowManagerRuns();

// Asks the window manager again to show `window` on every workspace: mutter takes a window off
// the others while a dialog it owns is open, and leaves it so.
void StayOnEveryWorkspace(Fl_Window& window);

// The X server's time now, for a dialog that opens with no user event behind it.
unsigned long ServerTime();

// Holds every other client's requests, the window manager's included, while it lives: keep it
// to the few requests that must reach the server together.
class ServerGrab {
 public:
  ServerGrab();
  ~ServerGrab();
  ServerGrab(const ServerGrab&) = delete;
  ServerGrab& operator=(const ServerGrab&) = delete;
};

}  // namespace shared::fltk_form
