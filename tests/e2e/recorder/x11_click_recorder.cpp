// A plain Xlib window that logs every button press it receives, one line per press:
//   <unix_ms> <root_x> <root_y> <button>
// The end-to-end tests put it under the points a program clicks and read the log to see which
// clicks arrived, where and when.
//
// Usage: x11_click_recorder [--geometry X Y W H] [--title TITLE] LOG_FILE
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

struct Options {
  int x = 0;
  int y = 0;
  unsigned int width = 400;
  unsigned int height = 300;
  std::string title = "Click Recorder";
  std::string log_file;
};

bool ParseInt(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--geometry" && i + 4 < argc) {
      long v[4];
      for (int k = 0; k < 4; ++k) {
        const long low = k < 2 ? -32768 : 1;
        if (!ParseInt(argv[i + 1 + k], low, 32767, v[k])) return false;
      }
      options.x = static_cast<int>(v[0]);
      options.y = static_cast<int>(v[1]);
      options.width = static_cast<unsigned int>(v[2]);
      options.height = static_cast<unsigned int>(v[3]);
      i += 4;
    } else if (arg == "--title" && i + 1 < argc) {
      options.title = argv[++i];
    } else if (options.log_file.empty() && !arg.starts_with("--")) {
      options.log_file = arg;
    } else {
      return false;
    }
  }
  return !options.log_file.empty();
}

long long UnixMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--geometry X Y W H] [--title TITLE] LOG_FILE\n", argv[0]);
    return 2;
  }
  std::FILE* log = std::fopen(options.log_file.c_str(), "a");
  if (!log) {
    std::fprintf(stderr, "can't open %s: %s\n", options.log_file.c_str(), std::strerror(errno));
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "can't open display %s\n", XDisplayName(nullptr));
    return 1;
  }

  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = WhitePixel(display, screen);
  attributes.event_mask = ButtonPressMask | ExposureMask | StructureNotifyMask;
  const Window window = XCreateWindow(display, RootWindow(display, screen), options.x, options.y,
                                      options.width, options.height, 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWBackPixel | CWEventMask, &attributes);

  // The position is the test's choice: a window manager, if one runs, is asked to keep it.
  XSizeHints* hints = XAllocSizeHints();
  hints->flags = USPosition | USSize | PMinSize | PMaxSize;
  hints->x = options.x;
  hints->y = options.y;
  hints->width = hints->min_width = hints->max_width = static_cast<int>(options.width);
  hints->height = hints->min_height = hints->max_height = static_cast<int>(options.height);
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
  XStoreName(display, window, options.title.c_str());
  // Never the keyboard focus: that stays with the program under test.
  XWMHints* wm_hints = XAllocWMHints();
  wm_hints->flags = InputHint;
  wm_hints->input = False;
  XSetWMHints(display, window, wm_hints);
  XFree(wm_hints);
  Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &delete_window, 1);

  XMapRaised(display, window);
  XFlush(display);

  for (;;) {
    XEvent event{};
    XNextEvent(display, &event);
    if (event.type == ButtonPress) {
      const XButtonEvent& press = event.xbutton;
      std::fprintf(log, "%lld %d %d %u\n", UnixMilliseconds(), press.x_root, press.y_root,
                   press.button);
      std::fflush(log);
    } else if (event.type == ClientMessage &&
               static_cast<Atom>(event.xclient.data.l[0]) == delete_window) {
      break;
    }
  }
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  std::fclose(log);
  return 0;
}
