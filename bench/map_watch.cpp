// Start-up time of a window program: starts it and times the moment the X server maps its
// top-level window, counted from just before the fork.
//   map_watch --title TITLE [--timeout SECONDS] -- COMMAND [ARGS...]
// Prints "mapped_ms=<ms with three decimals> cpu_ms=<ms> window=<id>" and ends the program
// (SIGTERM, then SIGKILL after 5 s). cpu_ms is the time the program (the process started, not
// any it starts in turn) had spent on a CPU when its window was mapped, -1 if unknown. Exit
// status 0 when the window was seen mapped, 1 otherwise.
// The root window's SubstructureNotify shows every top-level window mapped on the screen, so the
// watch needs no cooperation from the program and no window manager.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string WindowTitle(Display* display, Window window) {
  char* name = nullptr;
  if (!XFetchName(display, window, &name) || !name) return {};
  std::string title = name;
  XFree(name);
  return title;
}

// The time `child` has run on a CPU: the first field of /proc/<pid>/schedstat, in ns.
double CpuMs(pid_t child) {
  const std::string path = "/proc/" + std::to_string(child) + "/schedstat";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return -1;
  unsigned long long ns = 0;
  const bool read = std::fscanf(file, "%llu", &ns) == 1;
  std::fclose(file);
  return read ? static_cast<double>(ns) / 1e6 : -1;
}

// Ends the child and collects it, so the next run starts on an empty screen.
void EndChild(pid_t child) {
  kill(child, SIGTERM);
  const double deadline = MonotonicMs() + 5000;
  while (waitpid(child, nullptr, WNOHANG) == 0) {
    if (MonotonicMs() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      return;
    }
    usleep(10000);
  }
}

int Usage(const char* self) {
  std::fprintf(stderr, "usage: %s --title TITLE [--timeout SECONDS] -- COMMAND [ARGS...]\n", self);
  return 2;
}

// Errors from asking about a window that has just gone are expected; they end nothing.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

int main(int argc, char** argv) {
  std::string title;
  double timeout_s = 30;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string arg = argv[first];
    if (arg == "--") {
      ++first;
      break;
    }
    if (arg == "--title" && first + 1 < argc) {
      title = argv[++first];
    } else if (arg == "--timeout" && first + 1 < argc) {
      timeout_s = std::strtod(argv[++first], nullptr);
    } else {
      return Usage(argv[0]);
    }
  }
  if (title.empty() || first >= argc) return Usage(argv[0]);

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "can't open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  XSetErrorHandler(IgnoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);  // the selection is in place before the program can map anything

  const double started = MonotonicMs();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    close(ConnectionNumber(display));
    execvp(argv[first], argv + first);
    std::fprintf(stderr, "can't run %s: %s\n", argv[first], std::strerror(errno));
    _exit(127);
  }

  const double deadline = started + timeout_s * 1000;
  for (;;) {
    while (XPending(display)) {
      XEvent event{};
      XNextEvent(display, &event);
      if (event.type != MapNotify) continue;
      const double mapped = MonotonicMs();
      // The title is set before the map; a window mapped with another title is someone else's.
      if (WindowTitle(display, event.xmap.window) != title) continue;
      std::printf("mapped_ms=%.3f cpu_ms=%.3f window=0x%lx\n", mapped - started, CpuMs(child),
                  event.xmap.window);
      std::fflush(stdout);
      EndChild(child);
      XCloseDisplay(display);
      return 0;
    }
    const double left = deadline - MonotonicMs();
    if (left <= 0) break;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left) + 1);
  }
  std::fprintf(stderr, "no window titled \"%s\" was mapped within %g s\n", title.c_str(),
               timeout_s);
  EndChild(child);
  XCloseDisplay(display);
  return 1;
}
