#pragma once

#include <memory>

#include "../desktop_session.hpp"

namespace shared {

// The lock state of the user's graphical login session, as systemd-logind holds it for the
// desktop: the session's LockedHint on the system bus, which GNOME's and KDE Plasma's lockers
// set; other lockers may leave it false, and behind them the session reads as unlocked. Asked of
// logind at every question, within the question's budget. Unknown where no graphical session of
// this user is found (a program started from ssh with no desktop login). Connects at the first
// question.
std::unique_ptr<SessionLock> OpenLogindSessionLock();

}  // namespace shared
