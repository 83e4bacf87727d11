#include "x11_window_hints.hpp"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>

namespace shared::fltk_form {
namespace {

Atom Intern(const char* name) { return XInternAtom(fl_display, name, False); }

// A client message about `window` to the root window, the way EWMH asks clients to talk to a
// window manager.
void SendToWindowManager(Window window, Atom type, long l0, long l1, long l2, long l3) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = l0;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void SetUserTime(Window window, unsigned long time) {
  const long value = static_cast<long>(time);
  XChangeProperty(fl_display, window, Intern("_NET_WM_USER_TIME"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&value), 1);
}

// The ICCCM's "no input" model: WM_HINTS input False, and no WM_TAKE_FOCUS among the
// WM_PROTOCOLS (FLTK lists only WM_DELETE_WINDOW). A window manager then never gives the window
// the keyboard, nor counts it among the windows that may have it: when the window the user was
// in closes, the keyboard goes to the one before. (Offered WM_TAKE_FOCUS and ignoring it, the
// window left the keyboard on no window under some managers.) Its dialogs still take the
// keyboard, asking for it with the time of the user's event that opened them (DialogFocus).
// And EWMH's _NET_WM_USER_TIME: "the special value of zero on a newly mapped window can be used
// to request that the window not be initially focused when it is mapped".
void KeepTheKeyboardAway(Window window) {
  XWMHints* hints = XGetWMHints(fl_display, window);
  XWMHints fresh{};
  XWMHints& changed = hints ? *hints : fresh;
  changed.flags |= InputHint;
  changed.input = False;
  XSetWMHints(fl_display, window, &changed);
  if (hints) XFree(hints);
  SetUserTime(window, 0);
}

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// The window a WINDOW property names; None when the window, or that property, isn't there.
Window WindowIn(Window window, Atom property) {
  // A window gone since it was named is no failure here, and nothing for FLTK to report.
  const auto previous = XSetErrorHandler(IgnoreError);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(fl_display, window, property, 0, 1, False, XA_WINDOW, &type,
                                        &format, &count, &after, &data);
  XSetErrorHandler(previous);
  Window named = None;
  if (status == Success && type == XA_WINDOW && format == 32 && count == 1 && data) {
    named = static_cast<Window>(*reinterpret_cast<const unsigned long*>(data));
  }
  if (data) XFree(data);
  return named;
}

// The type of a window's property; None when the window has no such property.
Atom PropertyType(Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(fl_display, window, property, 0, 0, False, AnyPropertyType,
                                        &type, &format, &count, &after, &data);
  if (data) XFree(data);
  return status == Success ? type : None;
}

// The top-level window a window manager manages (the one with WM_STATE) that holds `window`, the
// keyboard's focus: the focus may rest on a child of it. 0 for none.
Window ManagedWindowHolding(Window window) {
  const Atom wm_state = Intern("WM_STATE");
  const Window root = DefaultRootWindow(fl_display);
  while (window != None && window != PointerRoot && window != root) {
    if (PropertyType(window, wm_state) != None) return window;
    Window parent_root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int child_count = 0;
    if (!XQueryTree(fl_display, window, &parent_root, &parent, &children, &child_count)) return 0;
    if (children) XFree(children);
    window = parent;
  }
  return 0;
}

// The window a closed dialog hands the keyboard back to, once the event loop runs again: a
// dialog that follows at once (a message after the prompt, for the same key) takes the hand-back
// over, since a manager may refuse that dialog the keyboard after a hand-back with the same time.
Window handed_back = 0;

void HandBack(void*) {
  SendToWindowManager(handed_back, Intern("_NET_ACTIVE_WINDOW"), 1,
                      static_cast<long>(fl_event_time), 0, 0);
  XFlush(fl_display);
  handed_back = 0;
}

bool HasFocus(Window window) {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(fl_display, &focus, &revert);
  return focus == window;
}

}  // namespace

bool WindowManagerRuns() {
  // EWMH: the root names a child window of the manager's, which names itself the same way. A
  // crashed manager's leftover names a window that is gone, or that another client now has.
  const Atom check = Intern("_NET_SUPPORTING_WM_CHECK");
  const Window child = WindowIn(DefaultRootWindow(fl_display), check);
  return child != None && WindowIn(child, check) == child;
}

void StayOnEveryWorkspace(Fl_Window& window) {
  if (!window.shown()) return;
  // EWMH: on all desktops, and the sticky state added, each from a normal application.
  const Window xid = fl_xid(&window);
  SendToWindowManager(xid, Intern("_NET_WM_DESKTOP"), 0xFFFFFFFF, 1, 0, 0);
  SendToWindowManager(xid, Intern("_NET_WM_STATE"), 1,
                      static_cast<long>(Intern("_NET_WM_STATE_STICKY")), 0, 1);
  XFlush(fl_display);
}

unsigned long ServerTime() {
  // The ICCCM's way: a property change's event carries the server's time.
  const Window root = DefaultRootWindow(fl_display);
  const Window window = XCreateSimpleWindow(fl_display, root, 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(fl_display, window, PropertyChangeMask);
  XChangeProperty(fl_display, window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent event{};
  XWindowEvent(fl_display, window, PropertyChangeMask, &event);
  XDestroyWindow(fl_display, window);
  XFlush(fl_display);
  return event.xproperty.time;
}

WindowHints::WindowHints(bool always_on_top, bool tool_window, bool every_workspace,
                         bool take_focus)
    : tool_window_(tool_window), every_workspace_(every_workspace), take_focus_(take_focus) {
  net_wm_state_ = Intern("_NET_WM_STATE");
  if (always_on_top) states_.push_back(Intern("_NET_WM_STATE_ABOVE"));
  if (tool_window) {
    states_.push_back(Intern("_NET_WM_STATE_SKIP_TASKBAR"));
    states_.push_back(Intern("_NET_WM_STATE_SKIP_PAGER"));
    net_wm_window_type_ = Intern("_NET_WM_WINDOW_TYPE");
    utility_type_ = Intern("_NET_WM_WINDOW_TYPE_UTILITY");
  }
  if (every_workspace) {
    // Some managers keep a window on every workspace only by its state.
    states_.push_back(Intern("_NET_WM_STATE_STICKY"));
    net_wm_desktop_ = Intern("_NET_WM_DESKTOP");
  }
}

void WindowHints::Apply(Fl_Window& window) const {
  const Window xid = fl_xid(&window);
  if (!take_focus_) KeepTheKeyboardAway(xid);
  if (tool_window_) {
    const Atom type = utility_type_;
    XChangeProperty(fl_display, xid, net_wm_window_type_, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);
  }
  if (every_workspace_) {
    // EWMH: 0xFFFFFFFF, on all desktops. Read when a manager takes the window on...
    const long all = 0xFFFFFFFF;
    XChangeProperty(fl_display, xid, net_wm_desktop_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&all), 1);
    // ...and the same as a request, for one that has it already.
    StayOnEveryWorkspace(window);
  }
  if (!states_.empty()) {
    // The initial state, read when a window manager takes the window on...
    XChangeProperty(fl_display, xid, net_wm_state_, XA_ATOM, 32, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(states_.data()),
                    static_cast<int>(states_.size()));
    // ...and the same as a request, for one that has taken it on already.
    for (const Atom state : states_) {
      // _NET_WM_STATE_ADD, from a normal application.
      SendToWindowManager(xid, net_wm_state_, 1, static_cast<long>(state), 0, 1);
    }
  }
  XFlush(fl_display);
}

DialogFocus::DialogFocus(unsigned long user_time) : user_time_(user_time) {
  if (user_time_ == 0) return;
  window_manager_ = WindowManagerRuns();
  if (!window_manager_) return;
  Window focus = None;
  int revert = 0;
  XGetInputFocus(fl_display, &focus, &revert);
  active_before_ = handed_back != 0 ? handed_back : ManagedWindowHolding(focus);
  if (fl_find(active_before_)) own_active_ = active_before_;
  Fl::remove_timeout(HandBack);
  handed_back = 0;
}

void DialogFocus::ShowAndActivate(Fl_Window& window) const {
  if (user_time_ == 0) {
    window.show();
    return;
  }
  {
    const ServerGrab grab;
    window.show();
    // Read with the map request: the window opens for the user's latest event, so a window
    // manager that keeps new windows from taking the keyboard lets this one have it.
    SetUserTime(fl_xid(&window), user_time_);
  }
  window.wait_for_expose();
  const Window xid = fl_xid(&window);
  if (window_manager_) {
    // EWMH: source 1, a normal application, with the user's time and the requestor's own window
    // that has the keyboard now, if one has; a manager that keeps windows from stealing the
    // keyboard lets this one have it, as no user event came later.
    SendToWindowManager(xid, Intern("_NET_ACTIVE_WINDOW"), 1, static_cast<long>(user_time_),
                        static_cast<long>(own_active_), 0);
    XSync(fl_display, False);
    // A manager that refuses it (some give a dialog the keyboard only when its owner has it):
    // the client hands the keyboard over itself, with the user's time, as a globally active
    // client may.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (window.shown() && !HasFocus(xid) && std::chrono::steady_clock::now() < deadline) {
      Fl::wait(0.02);
    }
    if (!window.shown() || HasFocus(xid)) return;
  }
  // With no window manager the keyboard follows the pointer; it does again once this closes.
  XSetInputFocus(fl_display, xid, window_manager_ ? RevertToParent : RevertToPointerRoot,
                 user_time_);
  XFlush(fl_display);
}

void DialogFocus::Restore() const {
  if (!window_manager_ || active_before_ == 0) return;
  handed_back = active_before_;
  Fl::add_timeout(0, HandBack);
}

ServerGrab::ServerGrab() { XGrabServer(fl_display); }

ServerGrab::~ServerGrab() {
  XUngrabServer(fl_display);
  XFlush(fl_display);
}

}  // namespace shared::fltk_form
