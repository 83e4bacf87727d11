#include "fltk_form_window.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <utility>

#include "../run_failure.hpp"
#include "display_scale.hpp"
#include "fltk_controls.hpp"
#include "fltk_dialogs.hpp"
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

// FLTK shows one tip at a time, in a window of its own marked as a tooltip window.
Fl_Window* ShownTipWindow() {
  for (Fl_Window* window = Fl::first_window(); window; window = Fl::next_window(window)) {
    if (window->tooltip_window() && window->visible()) return window;
  }
  return nullptr;
}

// A tip's text is kept at one address while it changes (see SetToolTip); plenty for any tip.
constexpr std::size_t kTipCapacity = 1024;

}  // namespace

FormWindow::FormWindow(Form& form)
    : form_(form),
      layout_(form.Layout()),
      dpi_(DisplayDotsPerInch()),
      window_(std::make_unique<Fl_Double_Window>(TwipsToPixels(layout_.client_width, dpi_),
                                                 TwipsToPixels(layout_.client_height, dpi_))) {
  window_->copy_label(layout_.caption.c_str());
  window_->callback(Closed, this);
  // Tips are lettered like FLTK's other text, larger in proportion on a scaled display.
  Fl_Tooltip::size(static_cast<Fl_Fontsize>(ScaledPixels(FL_NORMAL_SIZE, dpi_)));
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
  Control& control = controls_[name] = Control{widget, layout.text, {}};
  control.tooltip.reserve(kTipCapacity);
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
  // A tool window's frame would dwarf its client area, and managers draw it differently: one
  // adds a title bar above the screen's edge, another stretches the window to fit its buttons.
  // Without one the window stands and looks the same under every manager.
  if (layout_.tool_window) window_->border(0);
  const WindowHints hints(layout_.always_on_top, layout_.tool_window, layout_.every_workspace,
                          layout_.activate_on_show);
  // The first control in tab order holds the focus. FLTK moving it into a shown window that lacks
  // the keyboard asks the window manager for it with no time of a user's event, which managers
  // that keep new windows from stealing the keyboard take for a bug; before the show it only
  // notes the control. With no manager, where FLTK would show the window at once, after the show.
  const auto focus_first = [this] {
    for (Fl_Widget* widget : tab_order_) {
      if (widget->take_focus()) break;
    }
  };
  const bool manager = WindowManagerRuns();
  if (manager) focus_first();
  {
    const ServerGrab grab;
    window_->show();
    hints.Apply(*window_);
  }
  // FLTK nudges a framed window's first position so a title bar would fit on the screen; put it
  // back where the form asked.
  if (moved_) XMoveWindow(fl_display, fl_xid(window_.get()), window_->x(), window_->y());
  if (!manager) focus_first();
  if (layout_.timer_interval_ms > 0)
    Fl::add_timeout(layout_.timer_interval_ms / 1000.0, Tick, this);
}

void FormWindow::Tick(void* self) {
  auto& window = *static_cast<FormWindow*>(self);
  // Rescheduled first, from the time this tick was due, so ticks keep an even beat and a tick
  // dropped during a prompt doesn't stop the ones after it.
  Fl::repeat_timeout(window.layout_.timer_interval_ms / 1000.0, Tick, self);
  window.Dispatch([&window] { window.form_.Timer1_Timer(window); });
  // The message about a failure opens for now, not for the user's last press or key: a manager
  // may refuse the keyboard to a window with an old time, or hand it back to the press's window.
  if (window.failure_) fl_event_time = ServerTime();
  // FLTK 1.3 waits for the next tick as long as it was due when this one began, so a slow tick
  // (GNOME's cast opening) makes the next as late (measured). A timeout due now makes FLTK read
  // its clock again before it waits.
  Fl::add_timeout(0.0, [](void*) {});
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

// FLTK's tip window draws the text it was handed by address, and takes a text at the address it
// already has for no change at all. So the text stays at its one address (kTipCapacity), and a
// tip on show is redrawn where it stands, sized to the new text, with no blink; a text that had
// to move is handed over anew.
void FormWindow::SetToolTip(std::string_view control, std::string_view text) {
  Control& found = Find(control);
  Fl_Widget& widget = *found.widget;
  // An unchanged tip stays as it is: renewing it would blink a tip on show.
  if (found.tooltip == text) return;
  const char* const before = found.tooltip.c_str();
  found.tooltip = text;
  widget.tooltip(text.empty() ? nullptr : found.tooltip.c_str());
  if (Fl_Tooltip::current() != &widget) return;
  Fl_Window* const tip = ShownTipWindow();
  if (text.empty() || found.tooltip.c_str() != before || !tip) {
    Fl_Tooltip::enter_area(&widget, 0, 0, widget.w(), widget.h(), widget.tooltip());
    return;
  }
  fl_font(Fl_Tooltip::font(), Fl_Tooltip::size());
  int width = Fl_Tooltip::wrap_width();
  int height = 0;
  fl_measure(found.tooltip.c_str(), width, height);
  tip->size(width + 2 * Fl_Tooltip::margin_width(), height + 2 * Fl_Tooltip::margin_height());
  tip->redraw();
}

void FormWindow::Move(int left, int top) {
  moved_ = true;
  window_->position(TwipsToPixels(left, dpi_), TwipsToPixels(top, dpi_));
}

std::string FormWindow::InputBox(std::string_view message, std::string_view title) {
  std::string text = AskForText(message, title, dpi_);
  if (layout_.every_workspace) StayOnEveryWorkspace(*window_);
  return text;
}

void FormWindow::MessageBox(std::string_view message, std::string_view title) {
  ShowMessage(WrappedText(message), title, MessageKind::kInformation, dpi_);
  if (layout_.every_workspace) StayOnEveryWorkspace(*window_);
}

void FormWindow::End() { Finish(); }

}  // namespace shared::fltk_form
