#include <linux/input-event-codes.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "../gnome/mutter_cast.hpp"
#include "../x11_pointer.hpp"
#include "fake-input-client.h"
#include "native_route.hpp"
#include "overlay.hpp"
#include "wayland_client.hpp"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace shared::wayland {
namespace {

constexpr std::chrono::milliseconds kShowLimit{500};
// sway told the overlay where the pointer is 5 ms after showing it; KWin after 80 to 213 ms.
constexpr std::chrono::milliseconds kEnterLimit{500};

std::uint32_t NowMs() {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

// The pointer through the compositor's own input protocol: wlroots' virtual pointer or KWin's
// fake input. wlroots takes a share of the screen's width: the middle of the pixel asked for, so
// that no rounding on the way puts a move on its neighbour. The pointer is read through an
// overlay shown for the read.
class NativePointer final : public Pointer {
 public:
  NativePointer(Connection& connection, std::string route)
      : connection_(connection), route_(std::move(route)) {}
  ~NativePointer() override {
    if (virtual_pointer_) zwlr_virtual_pointer_v1_destroy(virtual_pointer_);
  }
  NativePointer(const NativePointer&) = delete;
  NativePointer& operator=(const NativePointer&) = delete;

  bool GetCursorPos(POINT& point) override {
    if (following_) {
      if (!overlay_) {
        overlay_.emplace(connection_);
        if (overlay_->Shown(kShowLimit)) AwaitPointer(*overlay_);
      }
      connection_.DispatchArrived();
      return Take(overlay_->PointerAt(), point);
    }
    Overlay overlay(connection_);
    if (!overlay.Shown(kShowLimit)) return false;
    return Take(AwaitPointer(overlay), point);
  }

  bool SetCursorPos(std::int32_t x, std::int32_t y) override {
    // A point on no monitor is refused rather than clamped to an edge: a click there would land
    // on whatever the edge shows.
    const std::optional<Connection::Box> layout = connection_.Layout();
    moved_ = layout && OnScreen(x, y);
    if (!moved_) return false;
    if (virtual_pointer_) {
      zwlr_virtual_pointer_v1_motion_absolute(virtual_pointer_, NowMs(),
                                              static_cast<std::uint32_t>(2 * (x - layout->x) + 1),
                                              static_cast<std::uint32_t>(2 * (y - layout->y) + 1),
                                              static_cast<std::uint32_t>(2 * layout->width),
                                              static_cast<std::uint32_t>(2 * layout->height));
      zwlr_virtual_pointer_v1_frame(virtual_pointer_);
    } else {
      // KWin rounds the position it is given: x + 0.5 landed on x + 1.
      org_kde_kwin_fake_input_pointer_motion_absolute(connection_.fake_input, wl_fixed_from_int(x),
                                                      wl_fixed_from_int(y));
    }
    return SendOwnInput();
  }

  bool mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::uint32_t,
                   std::uintptr_t) override {
    // Where the move was refused, the press would land wherever the pointer is.
    if (!moved_) return false;
    for (const auto& [flag, state] :
         {std::pair{MOUSEEVENTF_LEFTDOWN, 1u}, {MOUSEEVENTF_LEFTUP, 0u}}) {
      if (!(flags & flag)) continue;
      if (virtual_pointer_) {
        zwlr_virtual_pointer_v1_button(virtual_pointer_, NowMs(), BTN_LEFT, state);
        zwlr_virtual_pointer_v1_frame(virtual_pointer_);
      } else {
        org_kde_kwin_fake_input_button(connection_.fake_input, BTN_LEFT, state);
      }
    }
    return SendOwnInput();
  }

  bool OnScreen(std::int32_t x, std::int32_t y) const override {
    return connection_.OutputAt(x, y) != nullptr;
  }

  // No Wayland protocol tells a client about another client's buttons.
  bool AnyButtonHeld() override { return false; }
  bool ReadEveryTick() const override { return false; }
  void FollowContinuously() override { following_ = true; }
  std::string Route() const override { return route_; }

  // Made at start: a seat with no mouse plugged in (a headless session) has a pointer to read
  // only once a virtual one exists.
  void Start() {
    if (connection_.virtual_pointer_manager) {
      virtual_pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
          connection_.virtual_pointer_manager, connection_.seat);
    } else {
      org_kde_kwin_fake_input_authenticate(connection_.fake_input, program_invocation_short_name,
                                           "Clicks a saved point while the user is away");
    }
    connection_.RoundTrip();
  }

 private:
  static bool Take(std::optional<POINT> read, POINT& point) {
    if (!read) return false;
    point = *read;
    return true;
  }

  // The seat tells the overlay where the pointer is when it shows up under it; where it
  // doesn't by itself, a move by nothing makes it look again.
  std::optional<POINT> AwaitPointer(const Overlay& overlay) {
    if (std::optional<POINT> at = overlay.PointerAt()) return at;
    if (virtual_pointer_) {
      zwlr_virtual_pointer_v1_motion(virtual_pointer_, NowMs(), 0, 0);
      zwlr_virtual_pointer_v1_frame(virtual_pointer_);
    } else if (connection_.fake_input) {
      org_kde_kwin_fake_input_pointer_motion(connection_.fake_input, 0, 0);
    }
    const Clock::time_point deadline = Clock::now() + kEnterLimit;
    while (!overlay.PointerAt() && Clock::now() < deadline) {
      if (!SendOwnInput()) break;
    }
    return overlay.PointerAt();
  }

  // Sends the input and waits until the compositor has taken it; what the idle notification
  // says meanwhile is this program's own doing, not the user's.
  bool SendOwnInput() {
    connection_.own_input = true;
    const bool taken = connection_.RoundTrip();
    connection_.own_input = false;
    return taken;
  }

  Connection& connection_;
  const std::string route_;
  zwlr_virtual_pointer_v1* virtual_pointer_ = nullptr;
  std::optional<Overlay> overlay_;
  bool following_ = false;
  bool moved_ = false;
};

NativeRoute OpenGnomeRoute() {
  std::string missing;
  std::unique_ptr<gnome::Caster> caster = gnome::OpenMutterCaster(missing);
  if (!caster) {
    return {nullptr, missing +
                         ", so native Wayland windows can't be reached: only X11 windows "
                         "are seen and clicked."};
  }
  return {std::make_unique<gnome::GnomePointer>(
              std::move(caster), OpenX11Pointer({}),
              [](const std::string& route) {
                std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, route.c_str());
                std::fflush(stderr);
              }),
          {}};
}

}  // namespace

NativeRoute OpenNativeRoute() {
  Connection* const connection = Connection::Get();
  if (!connection) {
    const char* const socket = std::getenv("WAYLAND_DISPLAY");
    if (!socket || !*socket) return {};
    return {nullptr,
            "The Wayland compositor couldn't be reached (is libwayland-client "
            "installed?), so only X11 windows are seen and clicked."};
  }
  // GNOME (mutter offers gtk_shell1): its remote desktop and screen cast, on the session bus.
  if (connection->Offers("gtk_shell1")) return OpenGnomeRoute();
  const bool clicks = connection->virtual_pointer_manager || connection->fake_input;
  const bool idle = connection->idle_notifier || connection->kde_idle;
  if (clicks && idle && connection->layer_shell && connection->seat && connection->shm &&
      connection->compositor) {
    auto pointer = std::make_unique<NativePointer>(
        *connection, connection->virtual_pointer_manager
                         ? "Native Wayland windows are reached through the compositor's "
                           "virtual pointer (wlroots)."
                         : "Native Wayland windows are reached through KWin's fake input.");
    pointer->Start();
    return {std::move(pointer), {}};
  }
  // KWin offers its fake input only to programs whose menu entry asks for it; it offers its
  // Plasma shell to all (KWin 5.27). wlroots offers KDE's idle protocol too, so that tells nothing.
  if (connection->Offers("org_kde_plasma_shell") || connection->Offers("kde_output_device_v2")) {
    return {nullptr,
            "KDE Plasma lets a program click native Wayland windows only once its menu entry "
            "asks for it: run ./add-to-menu.sh from the programs' folder, then start the program "
            "again. Until then only X11 windows are seen and clicked."};
  }
  return {nullptr,
          "This Wayland compositor offers no way to click native windows (neither wlroots' "
          "virtual pointer nor KWin's fake input), so only X11 windows are seen and clicked."};
}

}  // namespace shared::wayland
