#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../../pointer_services.hpp"

// GNOME's screen cast gives a stream of each monitor. Its input names a point by the stream and a
// place in it, and its cursor metadata tells the pointer's place in the stream: these rules turn
// both into the layout's coordinates, the ones the programs show and save.
namespace shared::gnome {

struct Monitor {
  // The stream's object path, which the input calls name.
  std::string stream;
  // The monitor's place in the layout, in logical pixels.
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  // The stream's pixels to one logical pixel: above 1 on a scaled monitor.
  double scale = 1;
};

// The monitor that holds the point, or nothing when it lies on none.
std::optional<std::size_t> MonitorHolding(const std::vector<Monitor>& monitors, std::int32_t x,
                                          std::int32_t y);

struct StreamPoint {
  double x = 0;
  double y = 0;
};

// Where a point of the layout lies in the monitor's stream.
StreamPoint ToStream(const Monitor& monitor, std::int32_t x, std::int32_t y);

// The layout's pixel under a place in the monitor's stream (GNOME rounds the pointer's place to
// the stream's nearest pixel).
POINT FromStream(const Monitor& monitor, std::int32_t stream_x, std::int32_t stream_y);

// The scale of a stream `stream_width` pixels wide that shows a monitor `width` logical pixels
// wide; 1 where either is unknown.
double StreamScale(std::int32_t width, std::uint32_t stream_width);

}  // namespace shared::gnome
