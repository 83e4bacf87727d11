#pragma once

#include <dlfcn.h>

namespace shared {

// Points `function` at the symbol `name` of a library loaded with dlopen; false where it has none.
template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace shared
