#pragma once

#include <span>
#include <string_view>

// What lets a desktop tell the program's windows from any other FLTK program's: their class and
// their icon.
namespace shared::fltk_form {

// One size of the program's icon: `size` x `size` pixels of 8-bit RGBA with straight alpha, rows
// from the top, as Fl_RGB_Image takes them.
struct IconPicture {
  int size;
  std::span<const unsigned char> rgba;
};

// The program's icon at 64, 32 and 16 px. Each program links its own, made at build time from
// packaging/icons/<program>-<size>.rgba (program_icon.cpp.in).
std::span<const IconPicture> ProgramIcons();

// Every window the program opens from now on, its dialogs included, carries `program_name` as its
// class (WM_CLASS, which taskbars group by and menu entries match with StartupWMClass) and the
// program's icon (_NET_WM_ICON).
void IdentifyWindows(std::string_view program_name);

}  // namespace shared::fltk_form
