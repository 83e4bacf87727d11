#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>

#include <functional>
#include <string>
#include <string_view>

#include "../form.hpp"

// The two kinds of control a form holds, as FLTK widgets. They know nothing of forms or handlers:
// each reports its one event through the function it was given.
namespace shared::fltk_form {

// A label's text as FLTK draws it: '@' starts a symbol in an FLTK label, "@@" draws one '@'.
std::string DrawnText(std::string_view text);

// A label that reports mouse presses with the form's button codes (kLeftButton, kRightButton,
// kMiddleButton). It never takes the keyboard focus.
class FormLabel final : public Fl_Box {
 public:
  // Placed and lettered at `dpi` dots per inch.
  FormLabel(const ControlLayout& control, double dpi, std::function<void(int button)> on_press);
  int handle(int event) override;

 private:
  std::function<void(int button)> on_press_;
};

// A push button activated by the mouse, or by Return or Space while it has the focus.
class FormButton final : public Fl_Button {
 public:
  FormButton(const ControlLayout& control, double dpi, std::function<void()> on_click);
  int handle(int event) override;

 private:
  static void Clicked(Fl_Widget* widget, void*);

  std::function<void()> on_click_;
};

}  // namespace shared::fltk_form
