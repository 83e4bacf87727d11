#include "fltk_display.hpp"

#include <FL/x.H>
#include <X11/Xresource.h>

#include <cstdio>

#include "display_scale.hpp"

namespace shared::fltk_form {
namespace {

// A failed request (a window gone before a hint reached it, say) is worth a line on standard
// error, not the end of a clicker that is meant to run unattended. Xlib's default handler exits.
int ReportXError(Display* display, XErrorEvent* error) {
  char text[128] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "X error ignored: %s (request %d, resource 0x%lx)\n", text,
               static_cast<int>(error->request_code), error->resourceid);
  return 0;
}

}  // namespace

// FLTK's own fl_open_display() first switches LC_CTYPE to the user's locale, and the input method
// it then opens parses that locale's whole compose table: in a UTF-8 locale that is 50 million
// instructions, more than half of what Idlepress runs in its first seconds. These programs show
// ASCII labels, draw every other text as UTF-8 through Xft whatever the locale, and take only a
// number from the keyboard, so they keep the C locale's small table.
bool OpenFltkDisplay() {
  if (fl_display) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XSetErrorHandler(ReportXError);
  fl_open_display(display);
  return true;
}

// The resources come from the root window's RESOURCE_MANAGER property, as read when the display
// was opened: the same database xrdb writes and every Xlib resource lookup sees.
double DisplayDotsPerInch() {
  if (!OpenFltkDisplay()) return kUsualDotsPerInch;
  const char* const resources = XResourceManagerString(fl_display);
  if (!resources) return kUsualDotsPerInch;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  if (!database) return kUsualDotsPerInch;
  double dpi = kUsualDotsPerInch;
  char* type = nullptr;
  XrmValue value{};
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    dpi = DotsPerInchFromResource(value.addr);
  }
  XrmDestroyDatabase(database);
  return dpi;
}

}  // namespace shared::fltk_form
