#pragma once

#include <cstdint>

#include "pointer_services.hpp"

namespace clicker {

// Moves the pointer to (x, y) and left-clicks there, with no pause between the steps. The
// platform's answers are not looked at: a refused move or click simply has no effect.
void ClickAt(shared::Pointer& pointer, std::int32_t x, std::int32_t y);

}  // namespace clicker
