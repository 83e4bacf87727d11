#include "fltk_controls.hpp"

#include <FL/Fl.H>

#include <utility>

#include "display_scale.hpp"

namespace shared::fltk_form {
namespace {

// Applies the control's font, or the forms' default of 8 point when it names none.
void SetFont(Fl_Widget& widget, const ControlLayout& control, double dpi) {
  const FontStyle font = control.font.value_or(FontStyle{});
  widget.labelfont(font.weight >= 700 ? FL_HELVETICA_BOLD : FL_HELVETICA);
  widget.labelsize(static_cast<Fl_Fontsize>(PointsToPixels(font.points, dpi)));
}

// Maps FLTK's button numbers (1 left, 2 middle, 3 right) to the form's codes; 0 for any other.
int FormButtonCode(int fltk_button) {
  switch (fltk_button) {
    case FL_LEFT_MOUSE:
      return kLeftButton;
    case FL_MIDDLE_MOUSE:
      return kMiddleButton;
    case FL_RIGHT_MOUSE:
      return kRightButton;
    default:
      return 0;
  }
}

bool IsReturnKey(int key) { return key == FL_Enter || key == FL_KP_Enter; }

bool NoModifierHeld() { return (Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) == 0; }

}  // namespace

std::string DrawnText(std::string_view text) {
  std::string drawn;
  drawn.reserve(text.size());
  for (const char c : text) {
    drawn += c;
    if (c == '@') drawn += '@';
  }
  return drawn;
}

FormLabel::FormLabel(const ControlLayout& control, double dpi,
                     std::function<void(int button)> on_press)
    : Fl_Box(TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
             TwipsToPixels(control.width, dpi), TwipsToPixels(control.height, dpi)),
      on_press_(std::move(on_press)) {
  // An opaque box, so a shorter new text leaves nothing of the old one behind.
  box(FL_FLAT_BOX);
  align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  clear_visible_focus();
  SetFont(*this, control, dpi);
  copy_label(DrawnText(control.text).c_str());
}

int FormLabel::handle(int event) {
  if (event == FL_PUSH) {
    const int button = FormButtonCode(Fl::event_button());
    if (button != 0) on_press_(button);
    return 1;
  }
  return Fl_Box::handle(event);
}

FormButton::FormButton(const ControlLayout& control, double dpi, std::function<void()> on_click)
    : Fl_Button(TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
                TwipsToPixels(control.width, dpi), TwipsToPixels(control.height, dpi)),
      on_click_(std::move(on_click)) {
  SetFont(*this, control, dpi);
  copy_label(DrawnText(control.text).c_str());
  callback(Clicked);
}

int FormButton::handle(int event) {
  // Fl_Button answers Space by itself; Return is taught here.
  if (event == FL_KEYBOARD && Fl::focus() == this && IsReturnKey(Fl::event_key()) &&
      NoModifierHeld()) {
    simulate_key_action();
    do_callback();
    return 1;
  }
  return Fl_Button::handle(event);
}

void FormButton::Clicked(Fl_Widget* widget, void*) {
  static_cast<FormButton*>(widget)->on_click_();
}

}  // namespace shared::fltk_form
