#include "capture_form.hpp"

#include <string>
#include <utility>

#include "coordinate_file.hpp"
#include "coordinate_text.hpp"
#include "file_system.hpp"
#include "run_failure.hpp"

namespace capture {
namespace {

constexpr std::string_view kXValue = "Label2";
constexpr std::string_view kYValue = "Label4";
constexpr std::string_view kGrab = "Command1";

shared::ControlLayout Label(const char* name, const char* text, int left, int width, int tab) {
  return {.name = name,
          .kind = shared::ControlKind::kLabel,
          .text = text,
          .left = left,
          .top = 480,
          .width = width,
          .height = 255,
          .tab_index = tab,
          .font = std::nullopt};
}

// A label is set only when its text changes: setting it repaints it, which flickers, and makes a
// screen reader read it out again, ten times a second.
void ShowIfChanged(shared::Desktop& desktop, std::string_view label, const std::string& text) {
  if (desktop.Text(label) != text) desktop.SetText(label, text);
}

}  // namespace

CaptureForm::CaptureForm(shared::Pointer& pointer, shared::FilePath program_folder)
    : pointer_(pointer), program_folder_(std::move(program_folder)) {}

const shared::FormLayout& CaptureForm::Layout() const {
  static const shared::FormLayout layout{
      .caption = "Mouse Position",
      .client_width = 3795,
      .client_height = 1455,
      .timer_interval_ms = 100,
      .always_on_top = false,
      .tool_window = false,
      // Closing without a grab loses nothing.
      .close_on_escape = true,
      .controls =
          {
              {.name = std::string(kGrab),
               .kind = shared::ControlKind::kPushButton,
               .text = "Grab It",
               .left = 1080,
               .top = 960,
               .width = 1575,
               .height = 375,
               .tab_index = 0,
               .font = std::nullopt},
              Label("Label1", "X", 240, 255, 1),
              Label("Label2", "", 600, 1215, 2),
              Label("Label3", "Y", 1920, 255, 3),
              Label("Label4", "", 2280, 1215, 4),
          },
  };
  return layout;
}

void CaptureForm::Form_Load(shared::Desktop& desktop) {
  // Read ten times a second for as long as the window is open.
  pointer_.FollowContinuously();
  // The shown position follows the pointer onto the button, so a click on it saves the button.
  desktop.SetToolTip(kGrab,
                     "Rest the pointer on the point to click and press Enter. A click on this "
                     "button saves the button's own position.");
  // Sample at once, so the labels never stand empty and a grab always has a position to write.
  Timer1_Timer(desktop);
}

void CaptureForm::Timer1_Timer(shared::Desktop& desktop) {
  shared::POINT position{};
  // An unreadable pointer (a locked desktop) keeps the last position shown rather than a false
  // 0000; before any good sample there is nothing better than 0000 to show.
  if (!pointer_.GetCursorPos(position) && !desktop.Text(kXValue).empty()) return;
  ShowIfChanged(desktop, kXValue, shared::PadToFour(std::to_string(position.x)));
  ShowIfChanged(desktop, kYValue, shared::PadToFour(std::to_string(position.y)));
}

void CaptureForm::Click(std::string_view control, shared::Desktop& desktop) {
  if (control == kGrab) Command1_Click(desktop);
}

void CaptureForm::Command1_Click(shared::Desktop& desktop) {
  const std::string x = desktop.Text(kXValue);
  const std::string y = desktop.Text(kYValue);
  // The labels always hold coordinates; should they not, a good file is worth more than a grab.
  if (!shared::ToCoordinate(x) || !shared::ToCoordinate(y)) {
    throw shared::RunFailure("Nothing was grabbed: the shown position \"" + x + "\", \"" + y +
                             "\" is not a pair of coordinates.");
  }
  shared::WriteCoordinateFile(shared::CoordinateFilePath(program_folder_), x, y);
  desktop.End();
}

}  // namespace capture
