#include "program_identity.hpp"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

#include <memory>
#include <string>
#include <vector>

namespace shared::fltk_form {

void IdentifyWindows(std::string_view program_name) {
  Fl_Window::default_xclass(std::string(program_name).c_str());
  // The pictures are drawn ahead of time at the sizes taskbars, window lists and title bars
  // draw, so start-up only points FLTK at them.
  constexpr int kChannels = 4;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images;
  std::vector<const Fl_RGB_Image*> list;
  for (const IconPicture& picture : ProgramIcons()) {
    images.push_back(
        std::make_unique<Fl_RGB_Image>(picture.rgba.data(), picture.size, picture.size, kChannels));
    list.push_back(images.back().get());
  }
  // FLTK turns them into the window property at once; the images may go after this call.
  Fl_Window::default_icons(list.data(), static_cast<int>(list.size()));
}

}  // namespace shared::fltk_form
