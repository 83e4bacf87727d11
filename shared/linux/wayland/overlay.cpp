#include "overlay.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>

#include "wayland_client.hpp"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace shared::wayland {
namespace {

constexpr std::uint32_t kOverlayLayer = ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
constexpr std::uint32_t kAllEdges =
    ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;

// A fully transparent buffer: the memory is never written, so it reads as zeros, and a page
// is spent only where the compositor reads one.
wl_buffer* TransparentBuffer(wl_shm* shm, std::uint32_t width, std::uint32_t height) {
  const std::int32_t stride = static_cast<std::int32_t>(width) * 4;
  const std::int32_t size = stride * static_cast<std::int32_t>(height);
  if (width == 0 || height == 0 || size / stride != static_cast<std::int32_t>(height)) {
    return nullptr;
  }
  const int fd = memfd_create("pointer-overlay", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  wl_buffer* buffer = nullptr;
  if (ftruncate(fd, size) == 0) {
    wl_shm_pool* const pool = wl_shm_create_pool(shm, fd, size);
    buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(width),
                                       static_cast<std::int32_t>(height), stride,
                                       WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
  }
  close(fd);
  return buffer;
}

}  // namespace

void Overlay::Configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                        std::uint32_t width, std::uint32_t height) {
  auto* sheet = static_cast<Sheet*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  if (sheet->configured) return;  // the same size again: the buffer stands
  sheet->buffer = TransparentBuffer(sheet->owner->connection_.shm, width, height);
  if (!sheet->buffer) return;
  wl_surface_attach(sheet->surface, sheet->buffer, 0, 0);
  wl_surface_commit(sheet->surface);
  sheet->configured = true;
}

void Overlay::Closed(void* data, zwlr_layer_surface_v1*) {
  static_cast<Sheet*>(data)->closed = true;
}

Overlay::Overlay(Connection& connection) : connection_(connection) {
  static const zwlr_layer_surface_v1_listener listener = {.configure = &Overlay::Configure,
                                                          .closed = &Overlay::Closed};
  // Reserved first: each sheet is handed to its listener by address.
  sheets_.reserve(connection.outputs.size());
  for (std::size_t index = 0; index < connection.outputs.size(); ++index) {
    const Output& output = connection.outputs[index];
    if (output.width <= 0 || output.height <= 0) continue;
    Sheet& sheet = sheets_.emplace_back();
    sheet.owner = this;
    sheet.output = index;
    sheet.surface = wl_compositor_create_surface(connection.compositor);
    sheet.layer = zwlr_layer_shell_v1_get_layer_surface(
        connection.layer_shell, sheet.surface, output.output, kOverlayLayer, "pointer-reader");
    zwlr_layer_surface_v1_add_listener(sheet.layer, &listener, &sheet);
    zwlr_layer_surface_v1_set_anchor(sheet.layer, kAllEdges);
    // -1: drawn over panels and docks too, not beside them.
    zwlr_layer_surface_v1_set_exclusive_zone(sheet.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(sheet.layer, 0);
    wl_surface_commit(sheet.surface);
  }
}

Overlay::~Overlay() {
  for (Sheet& sheet : sheets_) {
    zwlr_layer_surface_v1_destroy(sheet.layer);
    wl_surface_destroy(sheet.surface);
    if (sheet.buffer) wl_buffer_destroy(sheet.buffer);
    if (connection_.pointer_surface == sheet.surface) connection_.pointer_surface = nullptr;
  }
  // Gone from the screen before anything else is sent: a click right after must not land on it.
  connection_.RoundTrip();
}

bool Overlay::Shown(std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  const auto all_shown = [this] {
    for (const Sheet& sheet : sheets_) {
      if (!sheet.configured && !sheet.closed) return false;
    }
    return !sheets_.empty();
  };
  while (!all_shown() && Clock::now() < deadline) {
    if (!connection_.RoundTrip(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()))) {
      return false;
    }
  }
  // One more trip, so the attached buffers are on screen and the seat has looked again.
  return all_shown() && connection_.RoundTrip();
}

std::optional<POINT> Overlay::PointerAt() const {
  for (const Sheet& sheet : sheets_) {
    if (sheet.surface != connection_.pointer_surface || !sheet.configured) continue;
    const Output& output = connection_.outputs[sheet.output];
    return POINT{output.x + static_cast<std::int32_t>(std::floor(connection_.pointer_x)),
                 output.y + static_cast<std::int32_t>(std::floor(connection_.pointer_y))};
  }
  return std::nullopt;
}

}  // namespace shared::wayland
