// Idlepress's start-up on its own: reads <folder>/coordinates.dat through the clicker window's
// Form_Load, with a fake pointer and desktop. Prints the target and exits 0, or prints the
// start-up failure on standard error and exits 1, as the program would report it.
//   clicker_start <folder>
#include <cstdio>

#include "clicker_form.hpp"
#include "fake_desktop.hpp"
#include "fake_pointer.hpp"
#include "run_failure.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: clicker_start <folder>\n", stderr);
    return 2;
  }
  FakePointer pointer;
  clicker::ClickerForm form(pointer, argv[1]);
  FakeDesktop desktop(form.Layout());
  try {
    form.Form_Load(desktop);
  } catch (const shared::RunFailure& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  std::printf("target %s %s\n", form.Watch()->TargetX.c_str(), form.Watch()->TargetY.c_str());
  return 0;
}
