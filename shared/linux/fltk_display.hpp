#pragma once

namespace shared::fltk_form {

// Opens FLTK's connection to the X display if it isn't open yet. False when there is no display
// to open: FLTK's own opening would end the process then, before anything could be reported.
bool OpenFltkDisplay();

}  // namespace shared::fltk_form
