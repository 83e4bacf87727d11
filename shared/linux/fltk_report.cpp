#include <cstdio>
#include <string>

#include "../form.hpp"
#include "fltk_dialogs.hpp"
#include "fltk_display.hpp"
#include "wrapped_text.hpp"

namespace shared {

void ReportFailure(std::string_view message, std::string_view title) {
  const std::string line = std::string(message) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  if (!fltk_form::OpenFltkDisplay()) return;
  fltk_form::ShowMessage(WrappedText(message), title, fltk_form::MessageKind::kFailure,
                         fltk_form::DisplayDotsPerInch());
}

}  // namespace shared
