#pragma once

#include <string>

namespace shared {

// The system's wording for the calling thread's last Win32 error (GetLastError), in UTF-8,
// without the closing full stop and line end, so it reads inside a sentence of ours.
std::string LastSystemErrorText();

}  // namespace shared
