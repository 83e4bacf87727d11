#pragma once

#include <FL/Fl_Double_Window.H>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../form.hpp"

// One form's window on FLTK, and the Desktop its handlers see. Handlers run one at a time: an
// event that arrives while one runs (a tick during a prompt's own event loop) is dropped.
namespace shared::fltk_form {

class FormWindow final : public Desktop {
 public:
  // Builds the window from the form's description; nothing is shown yet.
  explicit FormWindow(Form& form);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Calls Form_Load, shows the window, starts the timer and dispatches events until the program
  // ends. Returns the text of the failure that ended it, if one did: a RunFailure, or anything
  // else a handler threw.
  std::optional<std::string> Run();

  std::string Text(std::string_view control) const override;
  void SetText(std::string_view control, std::string_view text) override;
  void SetToolTip(std::string_view control, std::string_view text) override;
  void Move(int left, int top) override;
  std::string InputBox(std::string_view message, std::string_view title) override;
  void MessageBox(std::string_view message, std::string_view title) override;
  void End() override;

 private:
  struct Control {
    Fl_Widget* widget = nullptr;  // owned by the window
    std::string text;
    std::string tooltip;  // the widget's tip points into it
  };

  void AddControl(const ControlLayout& layout);
  void Show();
  void Dispatch(const std::function<void()>& handler);
  void Finish();
  const Control& Find(std::string_view name) const;
  Control& Find(std::string_view name);

  static void Tick(void* self);
  static void Closed(Fl_Widget*, void* self);

  Form& form_;
  const FormLayout& layout_;
  const double dpi_;  // the display's, read once: twips and points become pixels at it
  std::unique_ptr<Fl_Double_Window> window_;
  std::map<std::string, Control, std::less<>> controls_;
  std::vector<Fl_Widget*> tab_order_;
  bool moved_ = false;
  bool busy_ = false;
  bool finished_ = false;
  std::optional<std::string> failure_;
};

}  // namespace shared::fltk_form
