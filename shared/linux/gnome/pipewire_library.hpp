#pragma once

// The PipeWire client, loaded when first asked for rather than linked: the programs start and run
// where PipeWire is not installed, and GNOME's native route is then not offered. The headers
// only lend the functions' types; the pod builder's calls are inline and need no symbol.
#include <pipewire/pipewire.h>

namespace shared::gnome {

struct PipeWire {
  decltype(&::pw_init) init;
  decltype(&::pw_loop_new) loop_new;
  decltype(&::pw_loop_destroy) loop_destroy;
  decltype(&::pw_thread_loop_new) thread_loop_new;
  decltype(&::pw_thread_loop_get_loop) thread_loop_get_loop;
  decltype(&::pw_thread_loop_start) thread_loop_start;
  decltype(&::pw_thread_loop_stop) thread_loop_stop;
  decltype(&::pw_thread_loop_destroy) thread_loop_destroy;
  decltype(&::pw_thread_loop_lock) thread_loop_lock;
  decltype(&::pw_thread_loop_unlock) thread_loop_unlock;
  decltype(&::pw_thread_loop_get_time) thread_loop_get_time;
  decltype(&::pw_thread_loop_timed_wait_full) thread_loop_timed_wait_full;
  decltype(&::pw_thread_loop_signal) thread_loop_signal;
  decltype(&::pw_context_new) context_new;
  decltype(&::pw_context_destroy) context_destroy;
  decltype(&::pw_context_connect) context_connect;
  decltype(&::pw_core_disconnect) core_disconnect;
  decltype(&::pw_properties_new) properties_new;
  decltype(&::pw_stream_new) stream_new;
  decltype(&::pw_stream_add_listener) stream_add_listener;
  decltype(&::pw_stream_connect) stream_connect;
  decltype(&::pw_stream_update_params) stream_update_params;
  decltype(&::pw_stream_dequeue_buffer) stream_dequeue_buffer;
  decltype(&::pw_stream_queue_buffer) stream_queue_buffer;
  decltype(&::pw_stream_destroy) stream_destroy;
};

// libpipewire-0.3.so.0, loaded and initialised on the first call; null, then and ever after,
// where it or one of the functions is missing.
const PipeWire* LoadPipeWire();

}  // namespace shared::gnome
