#include "clicker_form.hpp"

#include <utility>

#include "coordinate_file.hpp"
#include "coordinate_text.hpp"
#include "file_system.hpp"
#include "interval_entry.hpp"
#include "run_failure.hpp"
#include "shown_text.hpp"

namespace clicker {
namespace {

constexpr std::string_view kLabel = "Label1";

// A target the watch can't click is reported now, while the user is still there, rather than
// when the first click is due.
void CheckTarget(const std::string& text, const char* line, const shared::FilePath& file) {
  if (shared::ToCoordinate(text)) return;
  throw shared::RunFailure("The coordinate file \"" + shared::PathText(file) + "\" has " +
                           shared::ShownText(text) + " on its " + line +
                           " line, which is not a whole number of pixels from -2147483648 to "
                           "2147483647. Grab the point again with Sightrel.");
}

}  // namespace

ClickerForm::ClickerForm(shared::Pointer& pointer, shared::FilePath program_folder,
                         shared::DesktopSession session)
    : pointer_(pointer), program_folder_(std::move(program_folder)), session_(std::move(session)) {}

const shared::FormLayout& ClickerForm::Layout() const {
  static const shared::FormLayout layout{
      .caption = "Idlepress",
      .client_width = 315,
      .client_height = 315,
      .timer_interval_ms = static_cast<int>(kTickMilliseconds),
      .always_on_top = true,
      .tool_window = true,
      // A stray Escape, after dismissing the prompt say, must not end an unattended clicker.
      .close_on_escape = false,
      .activate_on_show = false,
      .controls = {{.name = std::string(kLabel),
                    .kind = shared::ControlKind::kLabel,
                    .text = " X",
                    .left = 0,
                    .top = 0,
                    .width = 375,
                    .height = 375,
                    .tab_index = 0,
                    .font = shared::FontStyle{"MS Sans Serif", 12, 700}}},
  };
  return layout;
}

void ClickerForm::Form_Load(shared::Desktop& desktop) {
  const shared::FilePath file = shared::CoordinateFilePath(program_folder_);
  std::string note;
  shared::CoordinateTexts target = shared::ReadCoordinateFile(file, &note);
  CheckTarget(target.x, "first", file);
  CheckTarget(target.y, "second", file);
  if (!note.empty()) desktop.MessageBox(note, "Idlepress");
  watch_.emplace(pointer_, std::move(target.x), std::move(target.y), session_.idle_time.get(),
                 session_.lock.get());
  watch_->IdleLimit = kDefaultIdleLimit;
  watch_->Clicking = false;
  watch_->ClickStep = 0;

  desktop.Move(0, 0);
  ShowStatus(desktop);
}

void ClickerForm::Timer1_Timer(shared::Desktop& desktop) {
  watch_->Timer1_Timer();
  ShowStatus(desktop);
}

void ClickerForm::MouseDown(std::string_view control, int button, shared::Desktop& desktop) {
  if (control == kLabel) Label1_MouseDown(button, desktop);
}

void ClickerForm::Label1_MouseDown(int button, shared::Desktop& desktop) {
  if (button == shared::kLeftButton) {
    desktop.End();
  } else if (button == shared::kRightButton) {
    AskForInterval(desktop);
  }
}

void ClickerForm::AskForInterval(shared::Desktop& desktop) {
  const std::string text = desktop.InputBox("Enter the interval", "How long");
  const IntervalEntry entry = ParseIntervalEntry(text);
  switch (entry.kind) {
    case IntervalEntry::Kind::kKeep:
      return;
    case IntervalEntry::Kind::kLimit:
      watch_->SetIdleLimit(entry.limit);
      ShowStatus(desktop);
      return;
    case IntervalEntry::Kind::kInvalid:
      desktop.MessageBox(entry.problem + " The interval stays at " +
                             std::to_string(watch_->IdleLimit) + " seconds.",
                         "How long");
      return;
  }
}

void ClickerForm::ShowStatus(shared::Desktop& desktop) const {
  std::string state = watch_->Clicking ? "Clicking now."
                                       : "Still for " + std::to_string(watch_->IdleCount) + " of " +
                                             std::to_string(watch_->IdleLimit) + " seconds.";
  if (session_.wayland) {
    state += "\n" + std::string(kWaylandNotice);
    if (watch_->DesktopIdleUnknown) {
      state += "\nThe desktop's idle time is unknown: a still X pointer counts as resting.";
    }
  } else if (!pointer_.ReadEveryTick()) {
    state += watch_->DesktopIdleUnknown
                 ? "\nThe desktop's idle time is unknown: no clicks until it tells again."
                 : "\nStill means no input at all: a pressed key counts as much as a move.";
  }
  if (const std::string route = pointer_.Route(); !route.empty()) state += "\n" + route;
  if (watch_->TargetOffScreen) {
    state +=
        "\nThe saved point lies on no monitor, so it isn't clicked: grab it again with "
        "Sightrel.";
  }
  if (watch_->RestPlaceUnknown) {
    state += "\nThe pointer couldn't be read for the place to return to, so nothing was clicked.";
  }
  if (watch_->LockStateUnknown) {
    state += "\nThe screen's lock state is unknown: the clicks go on while it is locked.";
  }
  desktop.SetToolTip(kLabel,
                     "Idlepress clicks " + watch_->TargetX + ", " + watch_->TargetY +
                         " when the pointer rests.\nLeft press: quit.\nRight press: set how "
                         "many still seconds start the clicks.\n" +
                         state + "\n" + std::string(kRestOnTheXWarning));
}

}  // namespace clicker
