#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "../run_failure.hpp"
#include "x11_pointer.hpp"

namespace shared {
namespace {

// The pointer of the X display in $DISPLAY, read from the root window and driven through XTest,
// so moves and clicks travel the same path as a real mouse's and reach every client.
class X11Pointer final : public Pointer {
 public:
  X11Pointer(Display* display, std::string route) : display_(display), route_(std::move(route)) {}
  ~X11Pointer() override { XCloseDisplay(display_); }
  X11Pointer(const X11Pointer&) = delete;
  X11Pointer& operator=(const X11Pointer&) = delete;

  bool GetCursorPos(POINT& point) override {
    Window root = 0, child = 0;
    int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
    unsigned int mask = 0;
    // False when the pointer is on another screen of the display: no position to give. The
    // button mask comes with the reply either way.
    const bool same_screen = XQueryPointer(display_, DefaultRootWindow(display_), &root, &child,
                                           &root_x, &root_y, &window_x, &window_y, &mask);
    read_mask_ = mask;
    if (!same_screen) return false;
    point = {root_x, root_y};
    return true;
  }

  // The core protocol's mask has a bit for logical buttons 1 to 5 only: left, middle and right
  // (whatever the pointer mapping), and 4 and 5, which are wheel clicks, pressed and released at
  // once. The side buttons (8 and 9) have no bit, so a held side button isn't seen; XInput 2's
  // XIQueryPointer would show them, at the cost of another extension.
  bool AnyButtonHeld() override {
    // One round trip a tick: the mask of the read just made, if GetCursorPos was called since.
    if (!read_mask_) {
      POINT ignored{};
      GetCursorPos(ignored);
    }
    const unsigned int mask = read_mask_.value_or(0);
    read_mask_.reset();
    return (mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask)) != 0;
  }

  bool SetCursorPos(std::int32_t x, std::int32_t y) override {
    // X coordinates travel as 16 bits: 66036 would arrive as 500. Stop at the screen's edge
    // instead, as Windows does. The edge is asked for now: DisplayWidth and DisplayHeight keep
    // the size the screen had when the display was opened, and a monitor plugged in since grows it.
    const int screen = DefaultScreen(display_);
    int width = DisplayWidth(display_, screen);
    int height = DisplayHeight(display_, screen);
    Window root = 0;
    int root_x = 0, root_y = 0;
    unsigned int root_width = 0, root_height = 0, border = 0, depth = 0;
    if (XGetGeometry(display_, DefaultRootWindow(display_), &root, &root_x, &root_y, &root_width,
                     &root_height, &border, &depth)) {
      width = static_cast<int>(root_width);
      height = static_cast<int>(root_height);
    }
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    const bool sent = XTestFakeMotionEvent(display_, screen, x, y, CurrentTime);
    return Settle() && sent;
  }

  bool mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::uint32_t,
                   std::uintptr_t) override {
    bool sent = true;
    const unsigned int button = PrimaryButton();
    if (flags & MOUSEEVENTF_LEFTDOWN)
      sent = XTestFakeButtonEvent(display_, button, True, CurrentTime);
    if (flags & MOUSEEVENTF_LEFTUP)
      sent = XTestFakeButtonEvent(display_, button, False, CurrentTime) && sent;
    return Settle() && sent;
  }

  std::string Route() const override { return route_; }

 private:
  // XTest presses a physical button, which the server's pointer mapping then turns into the
  // logical one clients see: with a left-handed mapping ("pointer = 3 2 1") physical button 1
  // arrives as button 3. The physical button that arrives as the primary one (logical 1), read
  // at each click since the user may swap the buttons while a program runs; 1 if none does.
  unsigned int PrimaryButton() {
    unsigned char map[256] = {};
    const int buttons = XGetPointerMapping(display_, map, sizeof map);
    for (int physical = 0; physical < buttons; ++physical) {
      if (map[physical] == 1) return static_cast<unsigned int>(physical + 1);
    }
    return 1;
  }

  // Waits until the server has taken the request, so the event happens before the call returns.
  bool Settle() { return XSync(display_, False) != 0; }

  Display* display_;
  const std::string route_;
  // The button mask of the last GetCursorPos, until AnyButtonHeld takes it.
  std::optional<unsigned int> read_mask_;
};

}  // namespace

std::unique_ptr<Pointer> OpenX11Pointer(std::string route) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    throw RunFailure("Can't open the X display \"" + std::string(XDisplayName(nullptr)) +
                     "\": the pointer can't be read or moved without one.");
  }
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
    XCloseDisplay(display);
    throw RunFailure(
        "The X display has no XTest extension: the pointer can't be moved or clicked.");
  }
  return std::make_unique<X11Pointer>(display, std::move(route));
}

}  // namespace shared
