#include "wayland_connection.hpp"

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "wayland_library.hpp"
// The glue, after wayland_client.hpp.
#include "ext-idle-notify-v1-client.h"
#include "fake-input-client.h"
#include "idle-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace shared::wayland {
namespace {

constexpr std::chrono::milliseconds kConnectLimit{1000};

template <typename Proxy>
Proxy* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
            std::uint32_t offered, std::uint32_t wanted) {
  return static_cast<Proxy*>(
      wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

Output* Find(std::vector<Output>& outputs, const void* proxy) {
  for (Output& output : outputs) {
    if (output.output == proxy || output.xdg_output == proxy) return &output;
  }
  return nullptr;
}

// wl_output tells the physical mode and the scale; xdg_output, where offered, the logical
// position and size, which it then overrides.
const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output* proxy, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t) {
          if (Output* o = Find(*static_cast<std::vector<Output>*>(data), proxy)) {
            if (!o->xdg_output) o->x = x, o->y = y;
          }
        },
    .mode =
        [](void* data, wl_output* proxy, std::uint32_t flags, std::int32_t width,
           std::int32_t height, std::int32_t) {
          Output* o = Find(*static_cast<std::vector<Output>*>(data), proxy);
          if (o && (flags & WL_OUTPUT_MODE_CURRENT) && !o->xdg_output) {
            o->width = width / std::max(o->scale, 1);
            o->height = height / std::max(o->scale, 1);
          }
        },
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output* proxy, std::int32_t factor) {
          if (Output* o = Find(*static_cast<std::vector<Output>*>(data), proxy)) o->scale = factor;
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position =
        [](void* data, zxdg_output_v1* proxy, std::int32_t x, std::int32_t y) {
          if (Output* o = Find(*static_cast<std::vector<Output>*>(data), proxy)) o->x = x, o->y = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1* proxy, std::int32_t width, std::int32_t height) {
          if (Output* o = Find(*static_cast<std::vector<Output>*>(data), proxy)) {
            o->width = width, o->height = height;
          }
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

const wl_registry_listener Connection::kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          static_cast<Connection*>(data)->Global(registry, name, interface, version);
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t name) {
          static_cast<Connection*>(data)->GlobalRemoved(name);
        },
};

const wl_seat_listener Connection::kSeatListener = {
    .capabilities =
        [](void* data, wl_seat* seat, std::uint32_t capabilities) {
          auto* connection = static_cast<Connection*>(data);
          if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !connection->pointer) {
            connection->pointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(connection->pointer, &kPointerListener, connection);
          }
        },
    .name = [](void*, wl_seat*, const char*) {},
};

const wl_pointer_listener Connection::kPointerListener = {
    .enter =
        [](void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x,
           wl_fixed_t y) {
          auto* c = static_cast<Connection*>(data);
          c->pointer_surface = surface;
          c->pointer_x = wl_fixed_to_double(x);
          c->pointer_y = wl_fixed_to_double(y);
        },
    .leave =
        [](void* data, wl_pointer*, std::uint32_t, wl_surface* surface) {
          auto* c = static_cast<Connection*>(data);
          if (c->pointer_surface == surface) c->pointer_surface = nullptr;
        },
    .motion =
        [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
          auto* c = static_cast<Connection*>(data);
          c->pointer_x = wl_fixed_to_double(x);
          c->pointer_y = wl_fixed_to_double(y);
        },
    .button = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

void Connection::Global(wl_registry* registry, std::uint32_t name, const char* interface,
                        std::uint32_t version) {
  globals.emplace_back(interface);
  const std::string_view offered(interface);
  if (offered == wl_compositor_interface.name) {
    compositor = Bind<wl_compositor>(registry, name, wl_compositor_interface, version, 4);
  } else if (offered == wl_shm_interface.name) {
    shm = Bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
  } else if (offered == wl_seat_interface.name && !seat) {
    // The first seat is the user's: desktops with several are rare.
    seat = Bind<wl_seat>(registry, name, wl_seat_interface, version, 5);
    wl_seat_add_listener(seat, &kSeatListener, this);
  } else if (offered == wl_output_interface.name) {
    outputs.push_back(
        {.name = name, .output = Bind<wl_output>(registry, name, wl_output_interface, version, 3)});
    wl_output_add_listener(outputs.back().output, &kOutputListener, &outputs);
  } else if (offered == zxdg_output_manager_v1_interface.name) {
    xdg_output_manager =
        Bind<zxdg_output_manager_v1>(registry, name, zxdg_output_manager_v1_interface, version, 2);
  } else if (offered == zwlr_layer_shell_v1_interface.name) {
    layer_shell =
        Bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, 3);
  } else if (offered == zwlr_virtual_pointer_manager_v1_interface.name) {
    virtual_pointer_manager = Bind<zwlr_virtual_pointer_manager_v1>(
        registry, name, zwlr_virtual_pointer_manager_v1_interface, version, 1);
  } else if (offered == org_kde_kwin_fake_input_interface.name) {
    fake_input = Bind<org_kde_kwin_fake_input>(registry, name, org_kde_kwin_fake_input_interface,
                                               version, 4);
  } else if (offered == ext_idle_notifier_v1_interface.name) {
    idle_notifier =
        Bind<ext_idle_notifier_v1>(registry, name, ext_idle_notifier_v1_interface, version, 1);
  } else if (offered == org_kde_kwin_idle_interface.name) {
    kde_idle = Bind<org_kde_kwin_idle>(registry, name, org_kde_kwin_idle_interface, version, 1);
  }
}

// A monitor unplugged: its output stays listed, since an overlay may still name it, but holds no
// point once its size is gone.
void Connection::GlobalRemoved(std::uint32_t name) {
  for (Output& output : outputs) {
    if (output.name == name) output.width = output.height = 0;
  }
}

Connection* Connection::Get() {
  static Connection* const connection = [] {
    const char* const socket = std::getenv("WAYLAND_DISPLAY");
    if (!socket || !*socket) return static_cast<Connection*>(nullptr);
    // Kept for the process's life: the compositor ends its objects when the process ends.
    auto* made = new Connection;
    if (made->Open()) return made;
    // A compositor that didn't answer in time is left: its proxies go with the connection.
    if (made->display) Load()->display_disconnect(made->display);
    delete made;
    return static_cast<Connection*>(nullptr);
  }();
  return connection;
}

bool Connection::Open() {
  const Library* const library = Load();
  if (!library) return false;
  display = library->display_connect(nullptr);
  if (!display) return false;
  RememberDisplay(display);
  registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then what the seat and the outputs tell.
  if (!RoundTrip(kConnectLimit)) return false;
  for (Output& output : outputs) {
    if (!xdg_output_manager) break;
    output.xdg_output = zxdg_output_manager_v1_get_xdg_output(xdg_output_manager, output.output);
    zxdg_output_v1_add_listener(output.xdg_output, &kXdgOutputListener, &outputs);
  }
  return RoundTrip(kConnectLimit);
}

bool Connection::Offers(std::string_view interface) const {
  return std::find(globals.begin(), globals.end(), interface) != globals.end();
}

bool Connection::Read(Clock::time_point deadline) {
  const Library& library = *Load();
  while (library.display_prepare_read(display) != 0) {
    if (library.display_dispatch_pending(display) < 0) return false;
  }
  library.display_flush(display);
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd watched{.fd = library.display_get_fd(display), .events = POLLIN, .revents = 0};
  if (poll(&watched, 1, static_cast<int>(std::max<long long>(left, 0))) > 0) {
    if (library.display_read_events(display) < 0) return false;
  } else {
    library.display_cancel_read(display);
  }
  return library.display_dispatch_pending(display) >= 0 && library.display_get_error(display) == 0;
}

bool Connection::DispatchArrived() { return Read(Clock::now()); }

bool Connection::RoundTrip(std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  bool done = false;
  static const wl_callback_listener kDone = {
      .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback* const callback = wl_display_sync(display);
  wl_callback_add_listener(callback, &kDone, &done);
  while (!done && Clock::now() < deadline) {
    if (!Read(deadline)) break;
  }
  // A callback that answered is gone on the compositor's side; one that didn't is dropped here,
  // and its late answer finds no listener.
  wl_callback_destroy(callback);
  return done;
}

std::optional<Connection::Box> Connection::Layout() const {
  std::optional<Box> box;
  for (const Output& o : outputs) {
    if (o.width <= 0 || o.height <= 0) continue;
    if (!box) {
      box = Box{o.x, o.y, o.width, o.height};
      continue;
    }
    const std::int32_t right = std::max(box->x + box->width, o.x + o.width);
    const std::int32_t bottom = std::max(box->y + box->height, o.y + o.height);
    box->x = std::min(box->x, o.x);
    box->y = std::min(box->y, o.y);
    box->width = right - box->x;
    box->height = bottom - box->y;
  }
  return box;
}

const Output* Connection::OutputAt(std::int32_t x, std::int32_t y) const {
  for (const Output& o : outputs) {
    if (o.Holds(x, y)) return &o;
  }
  return nullptr;
}

}  // namespace shared::wayland
