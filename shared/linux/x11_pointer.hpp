#pragma once

#include <memory>
#include <string>

#include "../pointer_services.hpp"

namespace shared {

// The pointer of the X display in $DISPLAY, through XTest. `route` is what its Route() tells:
// in a Wayland session, why only X11 windows are reached. Throws RunFailure without a display.
std::unique_ptr<Pointer> OpenX11Pointer(std::string route);

}  // namespace shared
