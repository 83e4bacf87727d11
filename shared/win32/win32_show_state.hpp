#pragma once

#include <windows.h>

namespace shared::win32 {

// The show state a shortcut passes to the program it starts ("Run: Minimized" or "Maximized",
// STARTUPINFO's wShowWindow). Microsoft's ShowWindow page says the nCmdShow of the first
// ShowWindow call a program makes "is ignored ... if the program that launched the application
// provides a STARTUPINFO structure" and the startup information used instead; the long-standing
// account of the rule says only SW_SHOW, SW_SHOWNORMAL and SW_SHOWDEFAULT are replaced. Neither
// says which windows it applies to. So the windows here are shown in a way that is right under
// both readings: the program's first ShowWindow call is SW_SHOWDEFAULT or SW_SHOWNORMAL, which
// takes the state under either, made on purpose on a window for which the state is right (or
// harmless); a window that must never take it (Idlepress's) is shown with SetWindowPos, which
// the rule does not concern. Wine applies no such rule at all.

// Shows a program's main window the way its shortcut asks, as Windows users expect: normal or
// minimized (or hidden, when the caller asks for that). A maximized form has nothing to fill,
// since its size is fixed, so it is shown at its own size instead.
void ShowAsStarted(HWND window);

// Uses up the startup show state, if no window took it yet, on an invisible window of its own, so
// that a prompt or message box opened next opens normally whatever the shortcut said. Call it just
// before such a box: the throwaway window may be activated for a moment, and the box takes the
// activation right after.
void SpendStartupShowState();

}  // namespace shared::win32
