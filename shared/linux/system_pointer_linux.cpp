#include "../system_pointer.hpp"
#include "wayland/native_route.hpp"
#include "x11_pointer.hpp"

namespace shared {

// In a Wayland session the compositor's own protocols come first: through Xwayland only X11
// windows are seen and clicked. The windows themselves stay X11 either way.
std::unique_ptr<Pointer> OpenSystemPointer() {
  wayland::NativeRoute native = wayland::OpenNativeRoute();
  if (native.pointer) return std::move(native.pointer);
  return OpenX11Pointer(std::move(native.missing));
}

}  // namespace shared
