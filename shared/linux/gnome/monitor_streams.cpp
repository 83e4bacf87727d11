#include "monitor_streams.hpp"

#include <cmath>

namespace shared::gnome {

std::optional<std::size_t> MonitorHolding(const std::vector<Monitor>& monitors, std::int32_t x,
                                          std::int32_t y) {
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const Monitor& m = monitors[i];
    // In 64 bits: a monitor near the top of the range must not wrap around.
    const std::int64_t dx = std::int64_t{x} - m.x;
    const std::int64_t dy = std::int64_t{y} - m.y;
    if (dx >= 0 && dy >= 0 && dx < m.width && dy < m.height) return i;
  }
  return std::nullopt;
}

StreamPoint ToStream(const Monitor& monitor, std::int32_t x, std::int32_t y) {
  return {(static_cast<double>(x) - monitor.x) * monitor.scale,
          (static_cast<double>(y) - monitor.y) * monitor.scale};
}

POINT FromStream(const Monitor& monitor, std::int32_t stream_x, std::int32_t stream_y) {
  const auto back = [&](std::int32_t at, std::int32_t origin) {
    return static_cast<std::int32_t>(origin + std::floor((at + 0.5) / monitor.scale));
  };
  return {back(stream_x, monitor.x), back(stream_y, monitor.y)};
}

double StreamScale(std::int32_t width, std::uint32_t stream_width) {
  if (width <= 0 || stream_width == 0) return 1;
  return static_cast<double>(stream_width) / width;
}

}  // namespace shared::gnome
