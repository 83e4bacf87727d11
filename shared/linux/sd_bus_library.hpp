#pragma once

// The sd-bus client, loaded when first asked for rather than linked: the programs start and run
// where libsystemd is not installed, and what the buses would tell is then unknown. The header
// only lends the functions' types.
#include <systemd/sd-bus.h>

namespace shared::sdbus {

struct Library {
  decltype(&::sd_bus_open_user) open_user;
  decltype(&::sd_bus_open_system) open_system;
  decltype(&::sd_bus_close_unref) close_unref;
  decltype(&::sd_bus_is_open) is_open;
  decltype(&::sd_bus_is_ready) is_ready;
  decltype(&::sd_bus_process) process;
  decltype(&::sd_bus_wait) wait;
  decltype(&::sd_bus_match_signal_async) match_signal_async;
  decltype(&::sd_bus_add_match_async) add_match_async;
  decltype(&::sd_bus_message_new_method_call) message_new_method_call;
  decltype(&::sd_bus_message_append) message_append;
  decltype(&::sd_bus_call) call;
  decltype(&::sd_bus_message_read) message_read;
  decltype(&::sd_bus_message_enter_container) message_enter_container;
  decltype(&::sd_bus_message_exit_container) message_exit_container;
  decltype(&::sd_bus_message_skip) message_skip;
  decltype(&::sd_bus_message_unref) message_unref;
  decltype(&::sd_bus_message_get_sender) message_get_sender;
};

// The functions above from libsystemd.so.0, loaded on the first call; null, then and ever after,
// where the library or one of the functions is missing.
const Library* Load();

}  // namespace shared::sdbus
