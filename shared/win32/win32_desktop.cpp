#include "../form.hpp"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "../run_failure.hpp"
#include "../system_pointer.hpp"
#include "system_error_text.hpp"
#include "win32_dpi.hpp"
#include "win32_form_window.hpp"

namespace shared {
namespace {

// SetDefaultDllDirectories: Windows 8 and later, and Windows Vista and 7 with update KB2533623.
// Looked up rather than imported: where it is missing, an import would stop the program before
// its first line with the loader's own "entry point not found", which says nothing useful. Our
// message box may then load libraries from the program's folder, as every program's does there.
// Null where it is missing.
using SetDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
SetDllDirectoriesFunction SetDefaultDllDirectoriesFunction() {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<SetDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
}

// Dispatches until the window is destroyed (WM_QUIT). The dialog manager gives the form the
// keys a dialog has: Tab between controls, Return and Space on the focused button, Escape.
void RunMessageLoop(const win32::FormWindow& window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND handle = window.Handle();
    if (handle && IsDialogMessageW(handle, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Runs the form; returns the failure that ended it, if one did. Whatever is thrown while the
// pointer, the form or its window is made is reported like a failure of the rules; once the
// window runs, its handlers and window procedure keep their own errors.
std::optional<std::string> RunForm(const FormFactory& make_form) {
  std::unique_ptr<Pointer> pointer;
  std::unique_ptr<Form> form;
  std::unique_ptr<win32::FormWindow> window;
  try {
    pointer = OpenSystemPointer();
    form = make_form(*pointer);
    window = std::make_unique<win32::FormWindow>(*form);
  } catch (...) {
    return CaughtFailureText();
  }
  window->LoadAndShow();
  RunMessageLoop(*window);
  return window->Failure();
}

}  // namespace

int RunProgram(std::string_view program_name, const FormFactory& make_form) {
  // Before any window, control or dialog can load a library: every DLL the process loads by
  // name from now on comes from System32, never from the program's folder or the current one,
  // where a download may have left a DLL of that name.
  //
  // Not quite first. Before main, the loader has loaded the .exe's imports, from System32 only
  // (the load configuration, load_config.cpp), and the C runtime's start-up has run the static
  // constructors. One of those is libssp's, the stack protector's runtime: it seeds the guard
  // with CryptAcquireContextA (PROV_RSA_FULL, CRYPT_VERIFYCONTEXT), CryptGenRandom and
  // CryptReleaseContext. Those come from ADVAPI32, one of the imports, which is on the system's
  // list of known DLLs, whose copies and their dependencies the system uses wherever the program
  // is ("Dynamic-Link Library Search Order", Microsoft Learn). The one library they load besides
  // is the cryptographic provider, found by the name registered for it under
  // HKEY_LOCAL_MACHINE, which only an administrator can change, and which must be a full path
  // "for security reasons" ("Registering the CSP", Microsoft Learn). Our own code's static
  // objects load nothing.
  const SetDllDirectoriesFunction set_directories = SetDefaultDllDirectoriesFunction();
  const bool system32_only = set_directories && set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const DWORD refusal = system32_only || !set_directories ? 0 : GetLastError();
  win32::DeclareDpiAwareness();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  std::optional<std::string> failure;
  try {
    if (system32_only) {
      failure = RunForm(make_form);
    } else if (!set_directories) {
      failure =
          "This Windows can't keep the program's libraries to System32, so the program doesn't "
          "run. Windows 7 needs update KB2533623 for it; Windows 8 and later have it.";
    } else {
      failure = "Windows refused to keep the program's libraries to System32: " +
                SystemErrorText(refusal) + ".";
    }
    if (!failure) return 0;
  } catch (...) {
    failure = CaughtFailureText();
  }
  try {
    ReportFailure(*failure, program_name);
  } catch (...) {
    // Out of memory even for the report: the status still tells.
  }
  return 1;
}

}  // namespace shared
