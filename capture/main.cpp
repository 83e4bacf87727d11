#include <memory>

#include "capture_form.hpp"
#include "file_system.hpp"
#include "form.hpp"

int main() {
  return shared::RunProgram("Sightrel", [](shared::Pointer& pointer) {
    return std::make_unique<capture::CaptureForm>(pointer, shared::ProgramFolder());
  });
}
