#include "fltk_dialogs.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <tuple>
#include <utility>

#include "display_scale.hpp"
#include "fltk_controls.hpp"
#include "x11_window_hints.hpp"

namespace shared::fltk_form {
namespace {

struct DialogContent {
  std::string_view message;
  std::string_view title;
  const char* icon;    // the letter in the icon box
  bool entry;          // an entry line below the message
  const char* cancel;  // the button Escape stands for; none when null
  const char* confirm;
  double dpi;
};

struct Outcome {
  bool confirmed = false;
  std::string entered;
};

// The size a text takes in the current font, as FLTK measures a label.
std::pair<int, int> Measured(const char* text) {
  int width = 0;
  int height = 0;
  fl_measure(text, width, height);
  return {width, height};
}

Outcome RunDialog(const DialogContent& content) {
  // Every length below is FLTK's own dialog's, in pixels at 96 dots per inch.
  const auto px = [&content](int pixels) { return ScaledPixels(pixels, content.dpi); };
  const auto text_size = static_cast<Fl_Fontsize>(px(FL_NORMAL_SIZE));
  const std::string message = DrawnText(content.message);

  fl_font(FL_HELVETICA, text_size);
  auto [message_w, message_h] = Measured(message.c_str());
  message_w = std::max(message_w + px(10), px(340));
  message_h = std::max(message_h + px(10), px(30));
  auto [confirm_w, button_h] = Measured(content.confirm);
  confirm_w += px(50);  // room for the Return button's arrow
  int cancel_w = 0;
  if (content.cancel) {
    int cancel_h = 0;
    std::tie(cancel_w, cancel_h) = Measured(content.cancel);
    cancel_w += px(30);
    button_h = std::max(button_h, cancel_h);
  }
  button_h = std::max(button_h + px(10), px(25));

  const int margin = px(10);
  const int icon_size = px(50);
  const int entry_h = content.entry ? px(25) : 0;
  const int text_left = 2 * margin + icon_size;
  const int buttons_w = confirm_w + (content.cancel ? cancel_w + margin : 0);
  const int width = std::max(text_left + message_w + margin, buttons_w + 2 * margin);
  const int height = message_h + entry_h + button_h + 3 * margin;

  // Built outside whatever group is being filled, as FLTK builds its own.
  Fl_Group* const current_group = Fl_Group::current();
  Fl_Group::current(nullptr);
  Fl_Window window(width, height);
  window.copy_label(std::string(content.title).c_str());
  window.set_modal();
  // The close box and Escape: closed without confirming.
  window.callback([](Fl_Widget* self, void*) { self->hide(); });

  auto* const icon = new Fl_Box(margin, margin, icon_size, icon_size, content.icon);
  icon->box(FL_THIN_UP_BOX);
  icon->labelfont(FL_TIMES_BOLD);
  icon->labelsize(static_cast<Fl_Fontsize>(icon_size - margin));
  icon->color(FL_WHITE);
  icon->labelcolor(FL_BLUE);

  auto* const text = new Fl_Box(text_left, margin, message_w, message_h);
  text->copy_label(message.c_str());
  text->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  text->labelsize(text_size);

  Fl_Input* entry = nullptr;
  if (content.entry) {
    entry = new Fl_Input(text_left, margin + message_h, message_w, entry_h);
    entry->textsize(text_size);
  }

  Outcome outcome;
  const int button_top = height - margin - button_h;
  auto* const confirm = new Fl_Return_Button(width - margin - confirm_w, button_top, confirm_w,
                                             button_h, content.confirm);
  confirm->labelsize(text_size);
  confirm->callback(
      [](Fl_Widget* self, void* result) {
        static_cast<Outcome*>(result)->confirmed = true;
        self->window()->hide();
      },
      &outcome);
  Fl_Widget* hotspot = confirm;
  if (content.cancel) {
    auto* const cancel = new Fl_Button(confirm->x() - margin - cancel_w, button_top, cancel_w,
                                       button_h, content.cancel);
    cancel->labelsize(text_size);
    cancel->callback([](Fl_Widget* self, void*) { self->window()->hide(); });
    hotspot = cancel;
  }
  window.end();
  Fl_Group::current(current_group);

  if (entry) {
    entry->take_focus();
  } else {
    confirm->take_focus();
  }
  // Opens under the pointer, as FLTK's own do: the pointer rests on the way out.
  window.hotspot(hotspot);
  // A press that opened the dialog must not go on dragging behind it, and a popup's grab would
  // keep the keyboard from it.
  Fl::pushed(nullptr);
  Fl_Window* const grab = Fl::grab();
  if (grab) Fl::grab(nullptr);
  // Opened by the user's press or key, whose time FLTK still holds: the keyboard is theirs to
  // give it, and goes back where it was once the dialog closes.
  const DialogFocus focus(fl_event_time);
  focus.ShowAndActivate(window);
  while (window.shown()) Fl::wait();
  focus.Restore();
  if (grab) Fl::grab(grab);
  if (outcome.confirmed && entry) outcome.entered = entry->value();
  return outcome;
}

}  // namespace

std::string AskForText(std::string_view message, std::string_view title, double dpi) {
  return RunDialog({message, title, "?", true, "Cancel", "OK", dpi}).entered;
}

void ShowMessage(std::string_view message, std::string_view title, MessageKind kind, double dpi) {
  RunDialog(
      {message, title, kind == MessageKind::kFailure ? "!" : "i", false, nullptr, "Close", dpi});
}

}  // namespace shared::fltk_form
