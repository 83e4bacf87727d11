#pragma once

// libwayland-client's API for this program. The library is loaded at run time, not linked: the
// programs must start on a desktop without it. The protocol glue that wayland-scanner generates
// calls six proxy functions by name; the build renames them (wayland_protocol_glue in
// protocols.cmake) to forwarders of this program's own (wayland_library.cpp), which call into the
// loaded library.
#ifndef wl_proxy_marshal_flags
#error "The Wayland sources are built with wayland_protocol_glue(), which renames the proxy calls"
#endif
#include <wayland-client.h>
