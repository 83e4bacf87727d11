#include "../form.hpp"

#include <windows.h>

#include <cstdio>
#include <string>

#include "win32_show_state.hpp"
#include "win32_text.hpp"

namespace shared {

void ReportFailure(std::string_view message, std::string_view title) {
  // Standard error first: a GUI program may have none (fputs then fails quietly), and a caller
  // watching it learns of the failure while the box still waits for the user.
  const std::string line = std::string(message) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  win32::SpendStartupShowState();  // the box opens normally, whatever the shortcut said
  MessageBoxW(nullptr, win32::Widen(message).c_str(), win32::Widen(title).c_str(),
              MB_ICONERROR | MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace shared
