#include "pipewire_library.hpp"

#include <dlfcn.h>

#include "../resolve_symbol.hpp"

namespace shared::gnome {
namespace {

const PipeWire* Open() {
  // By soname alone, from the system's library folders, never beside the program.
  void* const library = dlopen("libpipewire-0.3.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  static PipeWire functions{};
  PipeWire& f = functions;
  const bool all =
      Resolve(library, "pw_init", f.init) && Resolve(library, "pw_loop_new", f.loop_new) &&
      Resolve(library, "pw_loop_destroy", f.loop_destroy) &&
      Resolve(library, "pw_thread_loop_new", f.thread_loop_new) &&
      Resolve(library, "pw_thread_loop_get_loop", f.thread_loop_get_loop) &&
      Resolve(library, "pw_thread_loop_start", f.thread_loop_start) &&
      Resolve(library, "pw_thread_loop_stop", f.thread_loop_stop) &&
      Resolve(library, "pw_thread_loop_destroy", f.thread_loop_destroy) &&
      Resolve(library, "pw_thread_loop_lock", f.thread_loop_lock) &&
      Resolve(library, "pw_thread_loop_unlock", f.thread_loop_unlock) &&
      Resolve(library, "pw_thread_loop_get_time", f.thread_loop_get_time) &&
      Resolve(library, "pw_thread_loop_timed_wait_full", f.thread_loop_timed_wait_full) &&
      Resolve(library, "pw_thread_loop_signal", f.thread_loop_signal) &&
      Resolve(library, "pw_context_new", f.context_new) &&
      Resolve(library, "pw_context_destroy", f.context_destroy) &&
      Resolve(library, "pw_context_connect", f.context_connect) &&
      Resolve(library, "pw_core_disconnect", f.core_disconnect) &&
      Resolve(library, "pw_properties_new", f.properties_new) &&
      Resolve(library, "pw_stream_new", f.stream_new) &&
      Resolve(library, "pw_stream_add_listener", f.stream_add_listener) &&
      Resolve(library, "pw_stream_connect", f.stream_connect) &&
      Resolve(library, "pw_stream_update_params", f.stream_update_params) &&
      Resolve(library, "pw_stream_dequeue_buffer", f.stream_dequeue_buffer) &&
      Resolve(library, "pw_stream_queue_buffer", f.stream_queue_buffer) &&
      Resolve(library, "pw_stream_destroy", f.stream_destroy);
  if (!all) {
    dlclose(library);
    return nullptr;
  }
  f.init(nullptr, nullptr);
  return &functions;
}

}  // namespace

const PipeWire* LoadPipeWire() {
  static const PipeWire* const library = Open();
  return library;
}

}  // namespace shared::gnome
