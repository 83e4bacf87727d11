#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wayland_client.hpp"

struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_layer_shell_v1;
struct zwlr_virtual_pointer_manager_v1;
struct org_kde_kwin_fake_input;
struct org_kde_kwin_idle;
struct ext_idle_notifier_v1;

namespace shared::wayland {

using Clock = std::chrono::steady_clock;

// A monitor as the compositor lays them out: logical pixels, the same as Xwayland's.
struct Output {
  std::uint32_t name = 0;  // the global's
  wl_output* output = nullptr;
  zxdg_output_v1* xdg_output = nullptr;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t scale = 1;
  bool Holds(std::int32_t px, std::int32_t py) const {
    return px >= x && py >= y && px - x < width && py - y < height;
  }
};

// The connection to the Wayland compositor in $WAYLAND_DISPLAY and the globals the programs use.
// One a process, opened at the first ask and kept for the process's life; every call is made on
// the program's one thread.
class Connection {
 public:
  // Null where there is no Wayland session, no libwayland-client, or no answer within a second.
  static Connection* Get();

  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  wl_seat* seat = nullptr;
  zxdg_output_manager_v1* xdg_output_manager = nullptr;
  zwlr_layer_shell_v1* layer_shell = nullptr;
  zwlr_virtual_pointer_manager_v1* virtual_pointer_manager = nullptr;
  org_kde_kwin_fake_input* fake_input = nullptr;
  ext_idle_notifier_v1* idle_notifier = nullptr;
  org_kde_kwin_idle* kde_idle = nullptr;
  std::vector<Output> outputs;
  // Names of every global offered, for telling which compositor this is.
  std::vector<std::string> globals;
  // The seat's pointer, once the seat has one, and what its events last told: the surface of
  // ours it is over (null when none) and its place there.
  wl_pointer* pointer = nullptr;
  wl_surface* pointer_surface = nullptr;
  double pointer_x = 0;
  double pointer_y = 0;

  // Set while this program's own moves and clicks are under way, so that the input they cause
  // is not taken for the user's.
  bool own_input = false;

  bool Offers(std::string_view interface) const;

  // Sends what is queued and waits until the compositor has handled it, dispatching the events
  // that came meanwhile. False when the connection broke or no answer came in time.
  bool RoundTrip(std::chrono::milliseconds limit = std::chrono::milliseconds(500));
  // Dispatches the events that have arrived, without waiting. False when the connection broke.
  bool DispatchArrived();

  // The box around every output, in the layout's coordinates.
  struct Box {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
  };
  std::optional<Box> Layout() const;
  const Output* OutputAt(std::int32_t x, std::int32_t y) const;

 private:
  bool Open();
  bool Read(Clock::time_point deadline);
  void Global(wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version);
  void GlobalRemoved(std::uint32_t name);
  static const wl_registry_listener kRegistryListener;
  static const wl_seat_listener kSeatListener;
  static const wl_pointer_listener kPointerListener;
  wl_registry* registry_ = nullptr;
};

}  // namespace shared::wayland
