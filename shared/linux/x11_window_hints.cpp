#include "x11_window_hints.hpp"

#include <FL/x.H>
#include <X11/Xatom.h>

namespace shared::fltk_form {
namespace {

Atom Intern(const char* name) { return XInternAtom(fl_display, name, False); }

// Asks a running window manager to add `state` to a window it may already manage.
void RequestState(Window window, Atom net_wm_state, Atom state) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = net_wm_state;
  event.xclient.format = 32;
  event.xclient.data.l[0] = 1;  // _NET_WM_STATE_ADD
  event.xclient.data.l[1] = static_cast<long>(state);
  event.xclient.data.l[3] = 1;  // from a normal application
  XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

WindowHints::WindowHints(bool always_on_top, bool tool_window) : tool_window_(tool_window) {
  if (!always_on_top && !tool_window) return;
  net_wm_state_ = Intern("_NET_WM_STATE");
  if (always_on_top) states_.push_back(Intern("_NET_WM_STATE_ABOVE"));
  if (tool_window) {
    states_.push_back(Intern("_NET_WM_STATE_SKIP_TASKBAR"));
    net_wm_window_type_ = Intern("_NET_WM_WINDOW_TYPE");
    utility_type_ = Intern("_NET_WM_WINDOW_TYPE_UTILITY");
  }
}

void WindowHints::Apply(Fl_Window& window) const {
  if (states_.empty()) return;
  const Window xid = fl_xid(&window);
  if (tool_window_) {
    const Atom type = utility_type_;
    XChangeProperty(fl_display, xid, net_wm_window_type_, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);
  }
  // The initial state, read when a window manager takes the window on...
  XChangeProperty(fl_display, xid, net_wm_state_, XA_ATOM, 32, PropModeAppend,
                  reinterpret_cast<const unsigned char*>(states_.data()),
                  static_cast<int>(states_.size()));
  // ...and the same as a request, for one that has taken it on already.
  for (const Atom state : states_) RequestState(xid, net_wm_state_, state);
  XFlush(fl_display);
}

}  // namespace shared::fltk_form
