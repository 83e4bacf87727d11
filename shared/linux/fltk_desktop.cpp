#include <cstdio>
#include <optional>
#include <string>

#include "../form.hpp"
#include "../run_failure.hpp"
#include "../system_pointer.hpp"
#include "fltk_form_window.hpp"
#include "program_identity.hpp"

namespace shared {

int RunProgram(std::string_view program_name, const FormFactory& make_form) {
  fltk_form::IdentifyWindows(program_name);
  std::optional<std::string> failure;
  try {
    // Declared in this order so the form goes before the window it runs in, and the pointer
    // outlives both.
    const std::unique_ptr<Pointer> pointer = OpenSystemPointer();
    // Which windows the pointer reaches, where it matters, for a user who started the program
    // from a terminal.
    if (const std::string route = pointer->Route(); !route.empty()) {
      std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(program_name.size()), program_name.data(),
                   route.c_str());
      std::fflush(stderr);
    }
    const std::unique_ptr<Form> form = make_form(*pointer);
    fltk_form::FormWindow window(*form);
    failure = window.Run();
  } catch (...) {
    failure = CaughtFailureText();
  }
  if (!failure) return 0;
  ReportFailure(*failure, program_name);
  return 1;
}

}  // namespace shared
