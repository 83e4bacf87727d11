#include "x11_window_hints.hpp"

#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

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

// Two rules keep the keyboard where the user left it, for window managers that follow either:
// - ICCCM 4.1.7: a window whose WM_HINTS input field is False, and whose WM_PROTOCOLS lack
//   WM_TAKE_FOCUS (FLTK lists only WM_DELETE_WINDOW), is never given the input focus.
// - EWMH, _NET_WM_USER_TIME: "the special value of zero on a newly mapped window can be used to
//   request that the window not be initially focused when it is mapped".
void KeepTheKeyboardAway(Window window, Atom net_wm_user_time) {
  XWMHints* hints = XGetWMHints(fl_display, window);
  XWMHints fresh{};
  XWMHints& changed = hints ? *hints : fresh;
  changed.flags |= InputHint;
  changed.input = False;
  XSetWMHints(fl_display, window, &changed);
  if (hints) XFree(hints);
  const long never = 0;
  XChangeProperty(fl_display, window, net_wm_user_time, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&never), 1);
}

}  // namespace

WindowHints::WindowHints(bool always_on_top, bool tool_window, bool take_focus)
    : tool_window_(tool_window), take_focus_(take_focus) {
  if (!take_focus) net_wm_user_time_ = Intern("_NET_WM_USER_TIME");
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
  const Window xid = fl_xid(&window);
  if (!take_focus_) KeepTheKeyboardAway(xid, net_wm_user_time_);
  if (tool_window_) {
    const Atom type = utility_type_;
    XChangeProperty(fl_display, xid, net_wm_window_type_, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);
  }
  if (!states_.empty()) {
    // The initial state, read when a window manager takes the window on...
    XChangeProperty(fl_display, xid, net_wm_state_, XA_ATOM, 32, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(states_.data()),
                    static_cast<int>(states_.size()));
    // ...and the same as a request, for one that has taken it on already.
    for (const Atom state : states_) RequestState(xid, net_wm_state_, state);
  }
  XFlush(fl_display);
}

ServerGrab::ServerGrab() { XGrabServer(fl_display); }

ServerGrab::~ServerGrab() {
  XUngrabServer(fl_display);
  XFlush(fl_display);
}

}  // namespace shared::fltk_form
