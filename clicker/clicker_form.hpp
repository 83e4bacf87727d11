#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "file_system.hpp"
#include "form.hpp"
#include "idle_watch.hpp"
#include "pointer_services.hpp"

namespace clicker {

// Idlepress's one window: a tiny always-on-top square in the screen's top-left corner holding a
// bold X. A left press on the X quits; a right press asks for a new idle limit. The window's
// one-second timer drives the idle watch.
class ClickerForm final : public shared::Form {
 public:
  ClickerForm(shared::Pointer& pointer, shared::FilePath program_folder);

  const shared::FormLayout& Layout() const override;
  void Form_Load(shared::Desktop& desktop) override;
  void Timer1_Timer(shared::Desktop& desktop) override;
  void MouseDown(std::string_view control, int button, shared::Desktop& desktop) override;

  // The idle watch, once Form_Load has read the target.
  const std::optional<IdleWatch>& Watch() const { return watch_; }

 private:
  void Label1_MouseDown(int button, shared::Desktop& desktop);
  void AskForInterval(shared::Desktop& desktop);
  void ShowStatus(shared::Desktop& desktop) const;

  shared::Pointer& pointer_;
  shared::FilePath program_folder_;
  std::optional<IdleWatch> watch_;
};

}  // namespace clicker
