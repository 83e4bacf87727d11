// Holds a file open with no sharing, as a virus scanner or an indexer does for a moment after a
// file is written: while it is held, Windows refuses to replace or delete the file.
//   win32_file_holder.exe FILE MILLISECONDS
// Prints "held" once the file is open, then holds it that long and exits 0; exits 1 if the file
// can't be opened.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: win32_file_holder.exe FILE MILLISECONDS\n", stderr);
    return 2;
  }
  HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "can't open the file: error %lu\n", GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  CloseHandle(file);
  return 0;
}
