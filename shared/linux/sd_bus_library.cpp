#include "sd_bus_library.hpp"

#include <dlfcn.h>

#include "resolve_symbol.hpp"

namespace shared::sdbus {
namespace {

const Library* Open() {
  // By soname alone: the loader looks in the system's library folders (the programs carry no
  // RPATH), never beside the program.
  void* const library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  static Library functions{};
  Library& f = functions;
  const bool all = Resolve(library, "sd_bus_open_user", f.open_user) &&
                   Resolve(library, "sd_bus_open_system", f.open_system) &&
                   Resolve(library, "sd_bus_close_unref", f.close_unref) &&
                   Resolve(library, "sd_bus_is_open", f.is_open) &&
                   Resolve(library, "sd_bus_is_ready", f.is_ready) &&
                   Resolve(library, "sd_bus_process", f.process) &&
                   Resolve(library, "sd_bus_wait", f.wait) &&
                   Resolve(library, "sd_bus_match_signal_async", f.match_signal_async) &&
                   Resolve(library, "sd_bus_add_match_async", f.add_match_async) &&
                   Resolve(library, "sd_bus_message_new_method_call", f.message_new_method_call) &&
                   Resolve(library, "sd_bus_message_append", f.message_append) &&
                   Resolve(library, "sd_bus_call", f.call) &&
                   Resolve(library, "sd_bus_message_read", f.message_read) &&
                   Resolve(library, "sd_bus_message_enter_container", f.message_enter_container) &&
                   Resolve(library, "sd_bus_message_exit_container", f.message_exit_container) &&
                   Resolve(library, "sd_bus_message_skip", f.message_skip) &&
                   Resolve(library, "sd_bus_message_unref", f.message_unref) &&
                   Resolve(library, "sd_bus_message_get_sender", f.message_get_sender);
  if (all) return &functions;
  dlclose(library);
  return nullptr;
}

}  // namespace

const Library* Load() {
  static const Library* const library = Open();
  return library;
}

}  // namespace shared::sdbus
