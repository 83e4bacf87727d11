#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "desktop_session.hpp"
#include "file_system.hpp"
#include "form.hpp"
#include "idle_watch.hpp"
#include "pointer_services.hpp"

namespace clicker {

// What Idlepress tells, once at start-up and on the X's tip, in a Wayland session.
inline constexpr std::string_view kWaylandNotice =
    "In a Wayland session Idlepress sees the pointer and clicks only over X11 windows (programs "
    "running under Xwayland, Wine and most games included).";

// The tip's last line. The tip shows only while the pointer rests on the X, and a pointer resting
// there is where a round of clicks ends: its last click lands on the X and quits.
inline constexpr std::string_view kRestOnTheXWarning =
    "Move off the X: a pointer left here is clicked at the end of the next round of clicks, and "
    "that quits Idlepress.";

// Idlepress's one window: a tiny always-on-top square in the screen's top-left corner holding a
// bold X. A left press on the X quits; a right press asks for a new idle limit. The window's
// one-second timer drives the idle watch.
class ClickerForm final : public shared::Form {
 public:
  // `session` tells whether the pointer is seen only over X11 windows (a Wayland session) and
  // lends the idle watch the desktop's idle time.
  ClickerForm(shared::Pointer& pointer, shared::FilePath program_folder,
              shared::DesktopSession session = {});

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
  shared::DesktopSession session_;
  std::optional<IdleWatch> watch_;
};

}  // namespace clicker
