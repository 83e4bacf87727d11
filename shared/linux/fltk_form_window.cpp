#include "fltk_form_window.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <algorithm>
#include <utility>

#include "../run_failure.hpp"
#include "display_scale.hpp"
#include "fltk_controls.hpp"
#include "fltk_display.hpp"
#include "wrapped_text.hpp"
#include "x11_window_hints.hpp"

namespace shared::fltk_form {
namespace {

// The controls in tab order; equal indexes keep the order they were listed in.
std::vector<const ControlLayout*> InTabOrder(const std::vector<ControlLayout>& controls) {
  std::vector<const ControlLayout*> ordered;
  for (const ControlLayout& control : controls) ordered.push_back(&control);
  std::stable_sort(
      ordered.begin(), ordered.end(),
      [](const ControlLayout* a, const ControlLayout* b) { return a->tab_index < b->tab_index; });
  return ordered;
}

}  // namespace

FormWindow::FormWindow(Form& form)
    : form_(form),
      layout_(form.Layout()),
      dpi_(DisplayDotsPerInch()),
      window_(std::make_unique<Fl_Double_Window>(TwipsToPixels(layout_.client_width, dpi_),
                                                 TwipsToPixels(layout_.client_height, dpi_))) {
  window_->copy_label(layout_.caption.c_str());
  window_->callback(Closed, this);
  // Children are created in tab order, which is the order FLTK's Tab key follows.
  for (const ControlLayout* control : InTabOrder(layout_.controls)) AddControl(*control);
  window_->end();
}

FormWindow::~FormWindow() { Fl::remove_timeout(Tick, this); }

void FormWindow::AddControl(const ControlLayout& layout) {
  const std::string name = layout.name;
  Fl_Widget* widget = nullptr;
  if (layout.kind == ControlKind::kPushButton) {
    widget = new FormButton(
        layout, dpi_, [this, name] { Dispatch([this, &name] { form_.Click(name, *this); }); });
  } else {
    widget = new FormLabel(layout, dpi_, [this, name](int button) {
      Dispatch([this, &name, button] { form_.MouseDown(name, button, *this); });
    });
  }
  controls_[name] = Control{widget, layout.text};
  tab_order_.push_back(widget);
}

std::optional<std::string> FormWindow::Run() {
  Dispatch([this] { form_.Form_Load(*this); });
  if (!finished_) Show();
  while (!finished_) Fl::wait();
  return failure_;
}

void FormWindow::Show() {
  if (!OpenFltkDisplay()) {
    throw RunFailure("Can't open the X display \"" + std::string(XDisplayName(nullptr)) +
                     "\" to show the window on.");
  }
  const WindowHints hints(layout_.always_on_top, layout_.tool_window);
  window_->show();
  hints.Apply(*window_);
  // FLTK nudges a framed window's first position so a title bar would fit on the screen; put it
  // back where the form asked.
  if (moved_) XMoveWindow(fl_display, fl_xid(window_.get()), window_->x(), window_->y());
  for (Fl_Widget* widget : tab_order_) {
    if (widget->take_focus()) break;
  }
  if (layout_.timer_interval_ms > 0)
    Fl::add_timeout(layout_.timer_interval_ms / 1000.0, Tick, this);
}

void FormWindow::Tick(void* self) {
  auto& window = *static_cast<FormWindow*>(self);
  // Rescheduled first, from the time this tick was due, so ticks keep an even beat and a tick
  // dropped during a prompt doesn't stop the ones after it.
  Fl::repeat_timeout(window.layout_.timer_interval_ms / 1000.0, Tick, self);
  window.Dispatch([&window] { window.form_.Timer1_Timer(window); });
}

// FLTK calls this for the close box, the window manager's close and, by default, for Escape.
void FormWindow::Closed(Fl_Widget*, void* self) {
  auto& window = *static_cast<FormWindow*>(self);
  if (!window.layout_.close_on_escape && Fl::event() == FL_SHORTCUT &&
      Fl::event_key() == FL_Escape) {
    return;
  }
  window.Finish();
}

void FormWindow::Dispatch(const std::function<void()>& handler) {
  if (busy_ || finished_) return;
  busy_ = true;
  try {
    handler();
  } catch (...) {
    failure_ = CaughtFailureText();
    Finish();
  }
  busy_ = false;
}

void FormWindow::Finish() {
  finished_ = true;
  Fl::remove_timeout(Tick, this);
  window_->hide();
}

const FormWindow::Control& FormWindow::Find(std::string_view name) const {
  const auto found = controls_.find(name);
  if (found == controls_.end()) {
    throw RunFailure("The window has no control named \"" + std::string(name) + "\".");
  }
  return found->second;
}

FormWindow::Control& FormWindow::Find(std::string_view name) {
  return const_cast<Control&>(std::as_const(*this).Find(name));
}

std::string FormWindow::Text(std::string_view control) const { return Find(control).text; }

void FormWindow::SetText(std::string_view control, std::string_view text) {
  Control& found = Find(control);
  if (found.text == text) return;
  found.text = text;
  found.widget->copy_label(DrawnText(text).c_str());
}

void FormWindow::SetToolTip(std::string_view control, std::string_view text) {
  Fl_Widget& widget = *Find(control).widget;
  // An unchanged tip stays as it is: renewing it would blink a tip on show.
  const char* const current = widget.tooltip();
  if (std::string_view(current ? current : "") == text) return;
  widget.copy_tooltip(text.empty() ? nullptr : std::string(text).c_str());
  // A tip on show or pending keeps a pointer to the text just freed: hand it the new one.
  if (Fl_Tooltip::current() == &widget) {
    Fl_Tooltip::enter_area(&widget, 0, 0, widget.w(), widget.h(), widget.tooltip());
  }
}

void FormWindow::Move(int left, int top) {
  moved_ = true;
  window_->position(TwipsToPixels(left, dpi_), TwipsToPixels(top, dpi_));
}

std::string FormWindow::InputBox(std::string_view message, std::string_view title) {
  fl_message_title(std::string(title).c_str());
  const char* entered = fl_input("%s", "", std::string(message).c_str());
  return entered ? entered : "";
}

void FormWindow::MessageBox(std::string_view message, std::string_view title) {
  fl_message_title(std::string(title).c_str());
  fl_message("%s", WrappedText(message).c_str());
}

void FormWindow::End() { Finish(); }

}  // namespace shared::fltk_form
