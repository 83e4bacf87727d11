// Drives the system pointer through the same calls the programs make, so the end-to-end tests can
// check them against what the X server reports and what a real window receives.
//   pointer_probe get          prints "X Y"
//   pointer_probe move X Y     moves the pointer there
//   pointer_probe click X Y    moves the pointer there and left-clicks (clicker::ClickAt)
//   pointer_probe client TITLE prints "WIDTH HEIGHT" of the client area of the top-level window
//                              titled TITLE, in physical pixels (Windows only)
// Exits 0 on success; 1 with a message when the platform refuses; 2 on a usage error.
#include "system_pointer.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "module1a.hpp"
#include "run_failure.hpp"

namespace {

bool ParseCoordinate(const char* text, std::int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  if (parsed < std::numeric_limits<std::int32_t>::min() ||
      parsed > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  value = static_cast<std::int32_t>(parsed);
  return true;
}

int Usage() {
  std::fputs("usage: pointer_probe get | move X Y | click X Y | client TITLE\n", stderr);
  return 2;
}

int PrintClientSize(const char* title) {
#ifdef _WIN32
  HWND window = FindWindowA(nullptr, title);
  RECT client{};
  if (!window || !GetClientRect(window, &client)) {
    std::fprintf(stderr, "pointer_probe: no window titled \"%s\"\n", title);
    return 1;
  }
  std::printf("%ld %ld\n", static_cast<long>(client.right - client.left),
              static_cast<long>(client.bottom - client.top));
  return 0;
#else
  std::fprintf(stderr, "pointer_probe: client \"%s\": Windows only\n", title);
  return 2;
#endif
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "client") return argc == 3 ? PrintClientSize(argv[2]) : Usage();
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (command == "get") {
    if (argc != 2) return Usage();
  } else if (command == "move" || command == "click") {
    if (argc != 4 || !ParseCoordinate(argv[2], x) || !ParseCoordinate(argv[3], y)) return Usage();
  } else {
    return Usage();
  }

  const std::unique_ptr<shared::Pointer> pointer = shared::OpenSystemPointer();
  if (command == "get") {
    shared::POINT point{};
    if (!pointer->GetCursorPos(point)) {
      std::fputs("pointer_probe: GetCursorPos failed\n", stderr);
      return 1;
    }
    std::printf("%ld %ld\n", static_cast<long>(point.x), static_cast<long>(point.y));
    return 0;
  }
  if (command == "move") {
    if (!pointer->SetCursorPos(x, y)) {
      std::fprintf(stderr, "pointer_probe: SetCursorPos(%ld, %ld) failed\n", static_cast<long>(x),
                   static_cast<long>(y));
      return 1;
    }
    return 0;
  }
  clicker::ClickAt(*pointer, x, y);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Physical pixels, as the programs see them.
  SetProcessDPIAware();
#endif
  try {
    const int status = Run(argc, argv);
    std::fflush(stdout);
    return status;
  } catch (const shared::RunFailure& failure) {
    std::fprintf(stderr, "pointer_probe: %s\n", failure.what());
    return 1;
  }
}
