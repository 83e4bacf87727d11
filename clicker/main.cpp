#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "clicker_form.hpp"
#include "desktop_session.hpp"
#include "file_system.hpp"
#include "form.hpp"

int main() {
  return shared::RunProgram("Idlepress", [](shared::Pointer& pointer) {
    shared::DesktopSession session = shared::OpenDesktopSession(pointer);
    if (session.wayland) {
      std::fputs((std::string(clicker::kWaylandNotice) + "\n").c_str(), stderr);
      std::fflush(stderr);
    }
    return std::make_unique<clicker::ClickerForm>(pointer, shared::ProgramFolder(),
                                                  std::move(session));
  });
}
