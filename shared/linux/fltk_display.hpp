#pragma once

namespace shared::fltk_form {

// Opens FLTK's connection to the X display if it isn't open yet. False when there is no display
// to open: FLTK's own opening would end the process then, before anything could be reported.
bool OpenFltkDisplay();

// The resolution to draw forms at: the Xft.dpi resource of FLTK's display, as the desktop set it
// for scaling; 96 where it is unset or no display can be opened.
double DisplayDotsPerInch();

}  // namespace shared::fltk_form
