#pragma once

#include <memory>

#include "pointer_services.hpp"

namespace shared {

// The platform's real pointer: user32 on Windows, Xlib + XTest on the X display on Linux.
// Throws RunFailure when there is no desktop to talk to.
std::unique_ptr<Pointer> OpenSystemPointer();

}  // namespace shared
