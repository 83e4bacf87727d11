#include <memory>

#include "clicker_form.hpp"
#include "file_system.hpp"
#include "form.hpp"

int main() {
  return shared::RunProgram("Idlepress", [](shared::Pointer& pointer) {
    return std::make_unique<clicker::ClickerForm>(pointer, shared::ProgramFolder());
  });
}
