#pragma once

#include <string_view>

#include "file_system.hpp"
#include "form.hpp"
#include "pointer_services.hpp"

namespace capture {

// Sightrel's one window: the pointer's position, refreshed ten times a second, and "Grab It",
// which writes the shown position to coordinates.dat and ends the program. The two value labels
// are the program's only state: a grab writes what they show.
class CaptureForm final : public shared::Form {
 public:
  CaptureForm(shared::Pointer& pointer, shared::FilePath program_folder);

  const shared::FormLayout& Layout() const override;
  void Form_Load(shared::Desktop& desktop) override;
  void Timer1_Timer(shared::Desktop& desktop) override;
  void Click(std::string_view control, shared::Desktop& desktop) override;

 private:
  void Command1_Click(shared::Desktop& desktop);

  shared::Pointer& pointer_;
  shared::FilePath program_folder_;
};

}  // namespace capture
