#pragma once

#include <FL/Fl_Window.H>

#include <vector>

// Window manager hints FLTK 1.3 has no call for: staying above other windows, and the small
// frame of a tool window kept out of the task bar. Harmless where no window manager runs.
namespace shared::fltk_form {

class WindowHints {
 public:
  // Looks the hint names up on FLTK's display, which must be open, so that Apply adds nothing but
  // property changes after the window's map request: the window manager then sees both together.
  WindowHints(bool always_on_top, bool tool_window);

  // Call right after the window's first show().
  void Apply(Fl_Window& window) const;

 private:
  bool tool_window_;
  std::vector<unsigned long> states_;  // Atoms for _NET_WM_STATE
  unsigned long net_wm_state_ = 0;
  unsigned long net_wm_window_type_ = 0;
  unsigned long utility_type_ = 0;
};

}  // namespace shared::fltk_form
