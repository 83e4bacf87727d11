#pragma once

#include <string>

namespace shared {

// The system's wording for a Win32 error code, in UTF-8, without the closing full stop and line
// end, so it reads inside a sentence of ours.
std::string SystemErrorText(unsigned long code);

// The same for the calling thread's last error (GetLastError).
std::string LastSystemErrorText();

}  // namespace shared
