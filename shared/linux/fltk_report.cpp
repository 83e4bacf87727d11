#include <FL/fl_ask.H>

#include <cstdio>
#include <string>

#include "../form.hpp"
#include "fltk_display.hpp"
#include "wrapped_text.hpp"

namespace shared {

void ReportFailure(std::string_view message, std::string_view title) {
  const std::string line = std::string(message) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  if (!fltk_form::OpenFltkDisplay()) return;
  fl_message_title(std::string(title).c_str());
  fl_alert("%s", WrappedText(message).c_str());
}

}  // namespace shared
