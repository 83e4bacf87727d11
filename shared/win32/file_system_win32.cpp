#include "../file_system.hpp"

#include <windows.h>

#include "system_error_text.hpp"

#include <cstdio>
#include <string>
#include <utility>

namespace shared {

std::string LastSystemErrorText() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length ? std::wstring(text, length) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' ||
                           wide.back() == L' ')) {
    wide.pop_back();
  }
  return PathText(wide);
}

FilePath ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return L".";
    if (length < buffer.size()) {
      buffer.resize(length);
      // The folder is everything before the last separator.
      const std::size_t separator = buffer.find_last_of(L"\\/");
      return separator == std::wstring::npos ? FilePath(L".") : buffer.substr(0, separator);
    }
    buffer.resize(buffer.size() * 2);  // the path was cut: ask again with more room
  }
}

std::FILE* OpenForReading(const FilePath& path) { return _wfopen(path.c_str(), L"rb"); }

std::string WriteFileDurably(const FilePath& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastSystemErrorText();
  std::string error;
  while (!bytes.empty() && error.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      error = LastSystemErrorText();
    } else if (written == 0) {
      error = "nothing could be written";
    } else {
      bytes.remove_prefix(written);
    }
  }
  if (error.empty() && !FlushFileBuffers(file)) error = LastSystemErrorText();
  if (!CloseHandle(file) && error.empty()) error = LastSystemErrorText();
  return error;
}

std::string RenameOver(const FilePath& from, const FilePath& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastSystemErrorText();
  }
  return {};
}

FileKind KindOf(const FilePath& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;  // opening tells why
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return FileKind::kOther;
  return FileKind::kRegular;
}

void RemoveFileQuietly(const FilePath& path) { DeleteFileW(path.c_str()); }

FilePath PathFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

FilePath JoinPath(const FilePath& folder, const FilePath& name) { return folder + L'\\' + name; }

std::string PathText(const FilePath& path) {
  const std::wstring& wide = path;
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

}  // namespace shared
