// The user's mouse and keyboard in a Wayland session, for the end-to-end tests: a virtual pointer
// and keyboard (wlroots) or KWin's fake input, kept alive while it runs, so that the seat has a
// pointer and a keyboard as on a real desk. It reads commands from stdin, one a line:
//   move X Y          the pointer to (X, Y) in layout coordinates
//   press|release|click left|right|middle
//   key NAME          press and release: Return, Escape, space, BackSpace, Tab, a digit or a letter
//   type TEXT         each character of TEXT (digits, lower-case letters, '.', '-', ' ')
// and answers each on stdout once the compositor has handled it: "ok ..." or "error ...".
// Its first line is "ready wlr|kde layout X Y W H".
//
// Usage: wayland_hand (WAYLAND_DISPLAY names the compositor)
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "fake-input-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace {

constexpr uint32_t kBtnLeft = 0x110, kBtnRight = 0x111, kBtnMiddle = 0x112;

// Keys by name -> evdev code.
const std::map<std::string, uint32_t> kKeys = {
    {"Escape", 1}, {"1", 2},  {"2", 3},  {"3", 4},       {"4", 5},  {"5", 6},          {"6", 7},
    {"7", 8},      {"8", 9},  {"9", 10}, {"0", 11},      {"-", 12}, {"BackSpace", 14}, {"Tab", 15},
    {"q", 16},     {"w", 17}, {"e", 18}, {"r", 19},      {"t", 20}, {"y", 21},         {"u", 22},
    {"i", 23},     {"o", 24}, {"p", 25}, {"Return", 28}, {"a", 30}, {"s", 31},         {"d", 32},
    {"f", 33},     {"g", 34}, {"h", 35}, {"j", 36},      {"k", 37}, {"l", 38},         {"z", 44},
    {"x", 45},     {"c", 46}, {"v", 47}, {"b", 48},      {"n", 49}, {"m", 50},         {".", 52},
    {"space", 57}, {" ", 57},
};

// A keymap the compositor compiles from the system's xkb data: a US keyboard.
constexpr char kKeymap[] =
    "xkb_keymap {\n"
    "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
    "  xkb_types { include \"complete\" };\n"
    "  xkb_compat { include \"complete\" };\n"
    "  xkb_symbols { include \"pc+us+inet(evdev)\" };\n"
    "};\n";

struct Output {
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  int x = 0, y = 0, width = 0, height = 0;  // logical, from xdg_output when offered
};

struct Hand {
  wl_display* display = nullptr;
  wl_seat* seat = nullptr;
  zxdg_output_manager_v1* xdg_outputs = nullptr;
  zwlr_virtual_pointer_manager_v1* pointer_manager = nullptr;
  zwp_virtual_keyboard_manager_v1* keyboard_manager = nullptr;
  org_kde_kwin_fake_input* fake_input = nullptr;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  Output outputs[8];
  int output_count = 0;
  int left = 0, top = 0, right = 0, bottom = 0;  // the layout's bounding box
};

uint32_t NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t) {
  auto* o = static_cast<Output*>(data);
  o->x = x;
  o->y = y;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
  auto* o = static_cast<Output*>(data);
  if ((flags & WL_OUTPUT_MODE_CURRENT) != 0 && o->xdg == nullptr) {
    o->width = w;
    o->height = h;
  }
}
void OutputDone(void*, wl_output*) {}
void OutputScale(void*, wl_output*, int32_t) {}
void OutputText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    OutputText, OutputText};

void XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  auto* o = static_cast<Output*>(data);
  o->x = x;
  o->y = y;
}
void XdgSize(void* data, zxdg_output_v1*, int32_t w, int32_t h) {
  auto* o = static_cast<Output*>(data);
  o->width = w;
  o->height = h;
}
void XdgDone(void*, zxdg_output_v1*) {}
void XdgName(void*, zxdg_output_v1*, const char*) {}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgListener = {XdgPosition, XdgSize, XdgDone, XdgName,
                                              XdgDescription};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
  auto* h = static_cast<Hand*>(data);
  const std::string i = interface;
  auto bind = [&](const wl_interface* type, uint32_t highest) {
    return wl_registry_bind(registry, name, type, version < highest ? version : highest);
  };
  if (i == wl_seat_interface.name && h->seat == nullptr) {
    h->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
  } else if (i == wl_output_interface.name && h->output_count < 8) {
    Output& o = h->outputs[h->output_count++];
    o.output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
    wl_output_add_listener(o.output, &kOutputListener, &o);
  } else if (i == zxdg_output_manager_v1_interface.name) {
    h->xdg_outputs =
        static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
  } else if (i == zwlr_virtual_pointer_manager_v1_interface.name) {
    h->pointer_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
  } else if (i == zwp_virtual_keyboard_manager_v1_interface.name) {
    h->keyboard_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
  } else if (i == org_kde_kwin_fake_input_interface.name && version >= 4) {
    h->fake_input =
        static_cast<org_kde_kwin_fake_input*>(bind(&org_kde_kwin_fake_input_interface, 4));
  }
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

bool SendKeymap(zwp_virtual_keyboard_v1* keyboard) {
  const int fd = memfd_create("hand-keymap", MFD_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, kKeymap, sizeof kKeymap) == static_cast<ssize_t>(sizeof kKeymap);
  if (written)
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof kKeymap);
  close(fd);
  return written;
}

bool Button(Hand& h, const std::string& name, bool pressed) {
  const uint32_t code = name == "left"     ? kBtnLeft
                        : name == "right"  ? kBtnRight
                        : name == "middle" ? kBtnMiddle
                                           : 0;
  if (code == 0) return false;
  if (h.pointer != nullptr) {
    zwlr_virtual_pointer_v1_button(h.pointer, NowMs(), code, pressed ? 1 : 0);
    zwlr_virtual_pointer_v1_frame(h.pointer);
  } else {
    org_kde_kwin_fake_input_button(h.fake_input, code, pressed ? 1 : 0);
  }
  return true;
}

bool Key(Hand& h, const std::string& name) {
  const auto found = kKeys.find(name);
  if (found == kKeys.end()) return false;
  for (const uint32_t state : {1u, 0u}) {
    if (h.keyboard != nullptr) {
      zwp_virtual_keyboard_v1_key(h.keyboard, NowMs(), found->second, state);
    } else {
      org_kde_kwin_fake_input_keyboard_key(h.fake_input, found->second, state);
    }
    wl_display_roundtrip(h.display);
    usleep(20000);  // a typist's pace: some clients drop keys that come in one burst
  }
  return true;
}

bool Move(Hand& h, int x, int y) {
  if (x < h.left || y < h.top || x >= h.right || y >= h.bottom) return false;
  if (h.pointer != nullptr) {
    zwlr_virtual_pointer_v1_motion_absolute(
        h.pointer, NowMs(), static_cast<uint32_t>(x - h.left), static_cast<uint32_t>(y - h.top),
        static_cast<uint32_t>(h.right - h.left), static_cast<uint32_t>(h.bottom - h.top));
    zwlr_virtual_pointer_v1_frame(h.pointer);
  } else {
    org_kde_kwin_fake_input_pointer_motion_absolute(h.fake_input, wl_fixed_from_int(x),
                                                    wl_fixed_from_int(y));
  }
  return true;
}

bool Run(Hand& h, const std::string& line) {
  std::istringstream words(line);
  std::string verb, a;
  words >> verb;
  if (verb == "move") {
    int x = 0, y = 0;
    return (words >> x >> y) && Move(h, x, y);
  }
  if (verb == "press" || verb == "release") return (words >> a) && Button(h, a, verb == "press");
  if (verb == "click") return (words >> a) && Button(h, a, true) && Button(h, a, false);
  if (verb == "key") return (words >> a) && Key(h, a);
  if (verb == "type") {
    std::string text;
    std::getline(words >> std::ws, text);
    for (const char c : text) {
      if (!Key(h, std::string(1, c))) return false;
    }
    return !text.empty();
  }
  return false;
}

}  // namespace

int main() {
  Hand h;
  h.display = wl_display_connect(nullptr);
  if (h.display == nullptr) {
    std::fprintf(stderr, "wayland_hand: can't connect to the Wayland display\n");
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(h.display);
  wl_registry_add_listener(registry, &kRegistryListener, &h);
  wl_display_roundtrip(h.display);
  if (h.xdg_outputs != nullptr) {
    for (int i = 0; i < h.output_count; ++i) {
      Output& o = h.outputs[i];
      o.xdg = zxdg_output_manager_v1_get_xdg_output(h.xdg_outputs, o.output);
      zxdg_output_v1_add_listener(o.xdg, &kXdgListener, &o);
    }
  }
  wl_display_roundtrip(h.display);
  wl_display_roundtrip(h.display);
  if (h.seat == nullptr || h.output_count == 0) {
    std::fprintf(stderr, "wayland_hand: the compositor offers no seat or no output\n");
    return 1;
  }
  const char* kind = nullptr;
  if (h.pointer_manager != nullptr && h.keyboard_manager != nullptr) {
    h.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(h.pointer_manager, h.seat);
    h.keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(h.keyboard_manager, h.seat);
    if (!SendKeymap(h.keyboard)) return 1;
    kind = "wlr";
  } else if (h.fake_input != nullptr) {
    org_kde_kwin_fake_input_authenticate(h.fake_input, "wayland_hand", "the tests' user");
    kind = "kde";
  } else {
    std::fprintf(stderr,
                 "wayland_hand: no virtual pointer and keyboard, nor fake input, offered\n");
    return 1;
  }
  h.left = h.top = 1 << 30;
  h.right = h.bottom = -(1 << 30);
  for (int i = 0; i < h.output_count; ++i) {
    const Output& o = h.outputs[i];
    h.left = std::min(h.left, o.x);
    h.top = std::min(h.top, o.y);
    h.right = std::max(h.right, o.x + o.width);
    h.bottom = std::max(h.bottom, o.y + o.height);
  }
  if (wl_display_roundtrip(h.display) < 0) {
    std::fprintf(stderr, "wayland_hand: the compositor closed the connection\n");
    return 1;
  }
  std::printf("ready %s layout %d %d %d %d\n", kind, h.left, h.top, h.right - h.left,
              h.bottom - h.top);
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    const bool done = Run(h, line);
    if (wl_display_roundtrip(h.display) < 0) {
      std::printf("error the compositor closed the connection\n");
      return 1;
    }
    std::printf("%s %s\n", done ? "ok" : "error", line.c_str());
    std::fflush(stdout);
  }
  return 0;
}
