#include "module1a.hpp"

namespace clicker {

void ClickAt(shared::Pointer& pointer, std::int32_t x, std::int32_t y) {
  pointer.SetCursorPos(x, y);
  pointer.mouse_event(shared::MOUSEEVENTF_LEFTDOWN, x, y, 0, 0);
  pointer.mouse_event(shared::MOUSEEVENTF_LEFTUP, x, y, 0, 0);
}

}  // namespace clicker
