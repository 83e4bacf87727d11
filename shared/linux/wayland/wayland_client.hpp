#pragma once

// libwayland-client's API for this program. The library is loaded at run time, not linked: the
// programs must start on a desktop without it. The protocol glue that wayland-scanner generates
// calls six proxy functions by name; they are renamed here to forwarders of this program's own
// (wayland_library.cpp), which call into the loaded library. Include this header before any
// generated one: a glue header included first would name the library's functions, and the link
// would fail.
#define wl_proxy_marshal_flags shared_wl_proxy_marshal_flags
#define wl_proxy_add_listener shared_wl_proxy_add_listener
#define wl_proxy_destroy shared_wl_proxy_destroy
#define wl_proxy_get_version shared_wl_proxy_get_version
#define wl_proxy_set_user_data shared_wl_proxy_set_user_data
#define wl_proxy_get_user_data shared_wl_proxy_get_user_data
#include <wayland-client.h>
