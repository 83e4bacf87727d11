#include <FL/fl_ask.H>
#include <FL/x.H>

#include <cstdio>
#include <string>

#include "../form.hpp"
#include "wrapped_text.hpp"

namespace shared {
namespace {

// FLTK ends the process when it can't open its display; look first, and hand it the one found.
bool DisplayReachable() {
  if (fl_display) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  fl_open_display(display);
  return true;
}

}  // namespace

void ReportFailure(std::string_view message, std::string_view title) {
  const std::string line = std::string(message) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  if (!DisplayReachable()) return;
  fl_message_title(std::string(title).c_str());
  fl_alert("%s", WrappedText(message).c_str());
}

}  // namespace shared
