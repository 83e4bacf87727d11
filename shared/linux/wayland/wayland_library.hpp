#pragma once

#include "wayland_client.hpp"

namespace shared::wayland {

// The functions of libwayland-client.so.0 that are called directly, beside the proxy functions
// the protocol glue calls through the forwarders.
struct Library {
  decltype(&::wl_display_connect) display_connect;
  decltype(&::wl_display_disconnect) display_disconnect;
  decltype(&::wl_display_get_fd) display_get_fd;
  decltype(&::wl_display_dispatch_pending) display_dispatch_pending;
  decltype(&::wl_display_flush) display_flush;
  decltype(&::wl_display_prepare_read) display_prepare_read;
  decltype(&::wl_display_read_events) display_read_events;
  decltype(&::wl_display_cancel_read) display_cancel_read;
  decltype(&::wl_display_get_error) display_get_error;
};

// The library, loaded on the first call; null, then and ever after, where it or one of the
// functions is missing.
const Library* Load();

// Tells the forwarders the interface of the display object itself, which the library made.
void RememberDisplay(wl_display* display);

}  // namespace shared::wayland
