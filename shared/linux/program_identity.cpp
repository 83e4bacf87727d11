#include "program_identity.hpp"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>
#include <png.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace shared::fltk_form {
namespace {

constexpr int kChannels = 4;  // RGBA, straight alpha, as FLTK hands icons to the window manager

struct Picture {
  int size = 0;  // square
  std::vector<unsigned char> rgba;
};

Picture DecodedIcon() {
  const std::span<const unsigned char> png = ProgramIconPng();
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  Picture picture{static_cast<int>(image.width), {}};
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (image.width != image.height ||
      !png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return {};
  }
  return picture;
}

// `picture` at 1/`factor` of its size, each pixel the alpha-weighted mean of the square it
// replaces, so the edges stay smooth and transparent pixels lend no colour.
Picture Shrunk(const Picture& picture, int factor) {
  Picture small{picture.size / factor, {}};
  small.rgba.resize(static_cast<std::size_t>(small.size) * small.size * kChannels);
  for (int y = 0; y < small.size; ++y) {
    for (int x = 0; x < small.size; ++x) {
      std::array<unsigned long, kChannels> sum{};  // colours weighted by alpha, then alpha
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const std::size_t at =
              (static_cast<std::size_t>(y * factor + dy) * picture.size + x * factor + dx) *
              kChannels;
          const unsigned alpha = picture.rgba[at + 3];
          for (int c = 0; c < 3; ++c) sum[c] += picture.rgba[at + c] * alpha;
          sum[3] += alpha;
        }
      }
      unsigned char* out = &small.rgba[(static_cast<std::size_t>(y) * small.size + x) * kChannels];
      for (int c = 0; c < 3; ++c) out[c] = sum[3] ? static_cast<unsigned char>(sum[c] / sum[3]) : 0;
      out[3] = static_cast<unsigned char>(sum[3] / (static_cast<unsigned long>(factor) * factor));
    }
  }
  return small;
}

}  // namespace

void IdentifyWindows(std::string_view program_name) {
  Fl_Window::default_xclass(std::string(program_name).c_str());
  const Picture icon = DecodedIcon();
  if (icon.size == 0) return;
  // The sizes taskbars, window lists and title bars draw, each an exact fraction of the drawing;
  // a 256-pixel icon would put a quarter of a megabyte into every window's properties.
  std::vector<Picture> pictures;
  for (const int size : {64, 32, 16}) {
    if (icon.size % size == 0) pictures.push_back(Shrunk(icon, icon.size / size));
  }
  if (pictures.empty()) return;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images;
  std::vector<const Fl_RGB_Image*> list;
  for (const Picture& picture : pictures) {
    images.push_back(
        std::make_unique<Fl_RGB_Image>(picture.rgba.data(), picture.size, picture.size, kChannels));
    list.push_back(images.back().get());
  }
  // FLTK turns them into the window property at once; the pictures may go after this call.
  Fl_Window::default_icons(list.data(), static_cast<int>(list.size()));
}

}  // namespace shared::fltk_form
