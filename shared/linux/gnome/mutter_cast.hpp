#pragma once

#include <memory>
#include <string>

#include "gnome_pointer.hpp"

namespace shared::gnome {

// GNOME's cast through mutter's RemoteDesktop and ScreenCast interfaces on the session bus, and
// the streams' cursor metadata through PipeWire. Null where mutter doesn't offer them or PipeWire
// can't be reached, with `missing` saying which in a sentence for the user. Opens nothing that
// lasts: the session bus and PipeWire are asked only whether they answer.
std::unique_ptr<Caster> OpenMutterCaster(std::string& missing);

}  // namespace shared::gnome
