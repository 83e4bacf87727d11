#pragma once

#include <span>
#include <string_view>

// What lets a desktop tell the program's windows from any other FLTK program's: their class and
// their icon.
namespace shared::fltk_form {

// The program's icon, a PNG file's bytes. Each program links its own, made at build time from
// packaging/icons/<program>.png (program_icon.cpp.in).
std::span<const unsigned char> ProgramIconPng();

// Every window the program opens from now on, its dialogs included, carries `program_name` as its
// class (WM_CLASS, which taskbars group by and menu entries match with StartupWMClass) and the
// program's icon (_NET_WM_ICON). An icon that can't be read is left out: the windows work as well
// without.
void IdentifyWindows(std::string_view program_name);

}  // namespace shared::fltk_form
