#pragma once

#include <FL/Fl_Window.H>

#include <vector>

// Window manager hints FLTK 1.3 has no call for: staying above other windows, the small frame of
// a tool window kept out of the task bar, and leaving the keyboard where it is. Harmless where no
// window manager runs.
namespace shared::fltk_form {

class WindowHints {
 public:
  // Looks the hint names up on FLTK's display, which must be open, so that Apply adds nothing but
  // property changes after the window's map request.
  WindowHints(bool always_on_top, bool tool_window, bool take_focus);

  // Call right after the window's first show(), with the server grabbed from before that show()
  // (ServerGrab): a window manager then reads the hints with the map request, before it decides
  // where the window goes and whether it gets the keyboard.
  void Apply(Fl_Window& window) const;

 private:
  bool tool_window_;
  bool take_focus_;
  std::vector<unsigned long> states_;  // Atoms for _NET_WM_STATE
  unsigned long net_wm_state_ = 0;
  unsigned long net_wm_window_type_ = 0;
  unsigned long utility_type_ = 0;
  unsigned long net_wm_user_time_ = 0;
};

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
