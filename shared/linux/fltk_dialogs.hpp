#pragma once

#include <string>
#include <string_view>

// The prompt and the message boxes. FLTK's own (fl_input, fl_message) are laid out in fixed
// pixels and keep their size whatever the display's resolution; these are laid out as FLTK lays
// its own out at 96 dots per inch, and drawn larger in proportion at `dpi`, like the forms.
// Each is modal: it returns when the user closes it, and no handler runs meanwhile.
namespace shared::fltk_form {

// `message` above an entry line, with OK (Return) and Cancel (Escape). The entered text; empty
// when the user cancels.
std::string AskForText(std::string_view message, std::string_view title, double dpi);

enum class MessageKind { kInformation, kFailure };

// `message` with a Close button (Return or Escape).
void ShowMessage(std::string_view message, std::string_view title, MessageKind kind, double dpi);

}  // namespace shared::fltk_form
