#include "win32_input_box.hpp"

#include <string>
#include <vector>

#include "../run_failure.hpp"
#include "system_error_text.hpp"
#include "win32_text.hpp"

namespace shared::win32 {
namespace {

constexpr WORD kMessageId = 100;
constexpr WORD kEntryId = 101;

// Predefined window classes, as dialog templates name them.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

// Builds a DLGTEMPLATE with its items in memory. Positions are dialog units, so the prompt
// follows the dialog font, and Windows scales it with the monitor's DPI.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short width, short height, const std::wstring& title,
                 WORD font_points, const wchar_t* font_face) {
    Dword(style);
    Dword(0);             // extended style
    words_.push_back(0);  // item count, filled in by Item()
    Coordinates(0, 0, width, height);
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    Text(title.c_str());
    words_.push_back(font_points);
    Text(font_face);
  }

  void Item(DWORD style, short left, short top, short width, short height, WORD id, WORD atom,
            const wchar_t* text) {
    if (words_.size() % 2) words_.push_back(0);  // items start on a DWORD boundary
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Coordinates(left, top, width, height);
    words_.push_back(id);
    words_.push_back(0xFFFF);  // a class atom follows
    words_.push_back(atom);
    Text(text);
    words_.push_back(0);  // no creation data
    ++words_[kItemCountIndex];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  static constexpr std::size_t kItemCountIndex = 4;

  void Dword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void Coordinates(short left, short top, short width, short height) {
    for (short value : {left, top, width, height}) words_.push_back(static_cast<WORD>(value));
  }
  void Text(const wchar_t* text) {
    for (; *text; ++text) words_.push_back(static_cast<WORD>(*text));
    words_.push_back(0);
  }

  // std::vector's storage is aligned for any fundamental type, DWORD included.
  std::vector<WORD> words_;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      SetFocus(GetDlgItem(dialog, kEntryId));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          auto* result = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(dialog, DWLP_USER));
          HWND entry = GetDlgItem(dialog, kEntryId);
          result->assign(static_cast<std::size_t>(GetWindowTextLengthW(entry)) + 1, L'\0');
          result->resize(static_cast<std::size_t>(
              GetWindowTextW(entry, result->data(), static_cast<int>(result->size()))));
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:  // Cancel, Escape and the close box
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

std::wstring ShowInputBox(HWND owner, const std::wstring& message, const std::wstring& title) {
  // About 4 by 1.5 inches in the 8 point dialog font.
  DialogTemplate prompt(DS_SETFONT | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | WS_POPUP |
                            WS_CAPTION | WS_SYSMENU,
                        250, 92, title, 8, L"MS Shell Dlg");
  prompt.Item(SS_LEFT | SS_NOPREFIX, 7, 7, 174, 54, kMessageId, kStaticAtom, message.c_str());
  prompt.Item(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 190, 7, 53, 14, IDOK, kButtonAtom, L"OK");
  prompt.Item(BS_PUSHBUTTON | WS_TABSTOP, 190, 25, 53, 14, IDCANCEL, kButtonAtom, L"Cancel");
  prompt.Item(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP, 7, 68, 236, 13,
              kEntryId, kEditAtom, L"");
  std::wstring text;
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), prompt.Get(), owner,
                                                 InputBoxProc, reinterpret_cast<LPARAM>(&text));
  // -1 (or 0, for an owner that is not a window): no prompt was shown, which is not a Cancel.
  // The reason is taken at once, before anything else can change the thread's last error.
  if (result == -1 || result == 0) {
    const DWORD code = GetLastError();
    throw RunFailure("The prompt \"" + Narrow(title) + "\" could not be opened: " +
                     (code != 0 ? SystemErrorText(code) : std::string("no reason given")) + ".");
  }
  return result == IDOK ? text : std::wstring();
}

}  // namespace shared::win32
