#include "wayland_library.hpp"

#include <dlfcn.h>

#include <cstdarg>
#include <unordered_map>

#include "../resolve_symbol.hpp"

namespace shared::wayland {
namespace {

// The proxy functions behind the forwarders below.
struct ProxyFunctions {
  decltype(&::wl_proxy_marshal_array_flags) marshal_array_flags;
  decltype(&::wl_proxy_add_listener) add_listener;
  decltype(&::wl_proxy_destroy) destroy;
  decltype(&::wl_proxy_get_version) get_version;
  decltype(&::wl_proxy_set_user_data) set_user_data;
  decltype(&::wl_proxy_get_user_data) get_user_data;
};

struct Loaded {
  Library library;
  ProxyFunctions proxy;
};

const Loaded* Open() {
  // By soname alone, from the system's library folders, never from beside the program.
  void* const handle = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  static Loaded loaded{};
  Library& l = loaded.library;
  ProxyFunctions& p = loaded.proxy;
  // wl_proxy_marshal_array_flags came with libwayland 1.20 (Debian 12 has 1.21, Ubuntu 22.04 1.20).
  const bool all = Resolve(handle, "wl_display_connect", l.display_connect) &&
                   Resolve(handle, "wl_display_disconnect", l.display_disconnect) &&
                   Resolve(handle, "wl_display_get_fd", l.display_get_fd) &&
                   Resolve(handle, "wl_display_dispatch_pending", l.display_dispatch_pending) &&
                   Resolve(handle, "wl_display_flush", l.display_flush) &&
                   Resolve(handle, "wl_display_prepare_read", l.display_prepare_read) &&
                   Resolve(handle, "wl_display_read_events", l.display_read_events) &&
                   Resolve(handle, "wl_display_cancel_read", l.display_cancel_read) &&
                   Resolve(handle, "wl_display_get_error", l.display_get_error) &&
                   Resolve(handle, "wl_proxy_marshal_array_flags", p.marshal_array_flags) &&
                   Resolve(handle, "wl_proxy_add_listener", p.add_listener) &&
                   Resolve(handle, "wl_proxy_destroy", p.destroy) &&
                   Resolve(handle, "wl_proxy_get_version", p.get_version) &&
                   Resolve(handle, "wl_proxy_set_user_data", p.set_user_data) &&
                   Resolve(handle, "wl_proxy_get_user_data", p.get_user_data);
  if (all) return &loaded;
  dlclose(handle);
  return nullptr;
}

const Loaded& Get() {
  static const Loaded* const loaded = Open();
  return *loaded;  // the forwarders run only on proxies made after a successful Load()
}

// The interface of each live proxy, by which a request's arguments are read off the variable
// argument list: the library keeps it too, but tells it to no one.
std::unordered_map<wl_proxy*, const wl_interface*>& Interfaces() {
  static std::unordered_map<wl_proxy*, const wl_interface*> interfaces;
  return interfaces;
}

}  // namespace

const Library* Load() {
  static const Loaded* const loaded = Open();
  return loaded ? &loaded->library : nullptr;
}

void RememberDisplay(wl_display* display) {
  Interfaces()[reinterpret_cast<wl_proxy*>(display)] = &wl_display_interface;
}

}  // namespace shared::wayland

using shared::wayland::Get;
using shared::wayland::Interfaces;

// The forwarders the glue calls. wl_proxy_marshal_flags takes the request's arguments as a
// variable list, which can't be passed on: they are read into an array as the request's
// signature says (as the library itself does), and sent with wl_proxy_marshal_array_flags.
extern "C" wl_proxy* shared_wl_proxy_marshal_flags(wl_proxy* proxy, uint32_t opcode,
                                                   const wl_interface* interface, uint32_t version,
                                                   uint32_t flags, ...) {
  const auto own = Interfaces().find(proxy);
  if (own == Interfaces().end() || opcode >= static_cast<uint32_t>(own->second->method_count)) {
    return nullptr;
  }
  constexpr int kMaxArguments = 20;  // the library's own limit on a message's arguments
  wl_argument args[kMaxArguments] = {};
  int count = 0;
  va_list list;
  va_start(list, flags);
  for (const char* type = own->second->methods[opcode].signature; *type && count < kMaxArguments;
       ++type) {
    switch (*type) {
      case 'i':
        args[count++].i = va_arg(list, int32_t);
        break;
      case 'u':
        args[count++].u = va_arg(list, uint32_t);
        break;
      case 'f':
        args[count++].f = va_arg(list, wl_fixed_t);
        break;
      case 's':
        args[count++].s = va_arg(list, const char*);
        break;
      case 'o':
      case 'n':
        args[count++].o = va_arg(list, wl_object*);
        break;
      case 'a':
        args[count++].a = va_arg(list, wl_array*);
        break;
      case 'h':
        args[count++].h = va_arg(list, int32_t);
        break;
      default:
        break;  // '?' (may be null) and a version number before the types
    }
  }
  va_end(list);
  if (flags & WL_MARSHAL_FLAG_DESTROY) Interfaces().erase(proxy);
  wl_proxy* const made =
      Get().proxy.marshal_array_flags(proxy, opcode, interface, version, flags, args);
  if (made && interface) Interfaces()[made] = interface;
  return made;
}

extern "C" int shared_wl_proxy_add_listener(wl_proxy* proxy, void (**implementation)(void),
                                            void* data) {
  return Get().proxy.add_listener(proxy, implementation, data);
}

extern "C" void shared_wl_proxy_destroy(wl_proxy* proxy) {
  Interfaces().erase(proxy);
  Get().proxy.destroy(proxy);
}

extern "C" uint32_t shared_wl_proxy_get_version(wl_proxy* proxy) {
  return Get().proxy.get_version(proxy);
}

extern "C" void shared_wl_proxy_set_user_data(wl_proxy* proxy, void* user_data) {
  Get().proxy.set_user_data(proxy, user_data);
}

extern "C" void* shared_wl_proxy_get_user_data(wl_proxy* proxy) {
  return Get().proxy.get_user_data(proxy);
}
