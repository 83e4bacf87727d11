#pragma once

#include <optional>
#include <vector>

#include "../../pointer_services.hpp"
#include "wayland_connection.hpp"

struct zwlr_layer_surface_v1;

namespace shared::wayland {

// A transparent surface over every output, above every window, which takes no keys. No Wayland
// protocol tells a client where the pointer is, but the seat tells the client whose surface the
// pointer is over: while the overlay is shown, that is this program. Shown, it also takes every
// pointer press, so it is shown only while the pointer is to be read.
class Overlay {
 public:
  explicit Overlay(Connection& connection);
  ~Overlay();
  Overlay(const Overlay&) = delete;
  Overlay& operator=(const Overlay&) = delete;

  // Waits until the compositor has shown the overlay on every output. False when it didn't
  // within the limit.
  bool Shown(std::chrono::milliseconds limit);

  // Where the pointer is, in the layout's pixels, as the seat's last event over the overlay
  // told; nothing while it hasn't told.
  std::optional<POINT> PointerAt() const;

 private:
  struct Sheet {
    Overlay* owner = nullptr;
    std::size_t output = 0;  // index in the connection's outputs, which may grow meanwhile
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    wl_buffer* buffer = nullptr;
    bool configured = false;
    bool closed = false;
  };
  static void Configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                        std::uint32_t width, std::uint32_t height);
  static void Closed(void* data, zwlr_layer_surface_v1* layer);

  Connection& connection_;
  std::vector<Sheet> sheets_;
};

}  // namespace shared::wayland
