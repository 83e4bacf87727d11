#include "../file_system.hpp"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "../run_failure.hpp"
#include "../temporary_name.hpp"
#include "system_error_text.hpp"
#include "win32_text.hpp"

namespace shared {
namespace {

// A virus scanner, the search indexer or a sync client opens a file for a moment right after it
// was written, and Windows then refuses to replace it with one of these.
bool IsBusy(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_ACCESS_DENIED;
}

// Runs `attempt` until it succeeds, fails for a reason that lasts, or about two seconds have
// passed, pausing a little longer after each busy refusal. The last error is the attempt's.
template <typename Attempt>
bool RetryWhileBusy(Attempt attempt) {
  constexpr ULONGLONG kPatienceMs = 2000;
  const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
  DWORD pause_ms = 10;
  for (;;) {
    if (attempt()) return true;
    const DWORD code = GetLastError();
    if (!IsBusy(code) || GetTickCount64() + pause_ms > deadline) {
      SetLastError(code);
      return false;
    }
    Sleep(pause_ms);
    pause_ms = std::min<DWORD>(pause_ms * 2, 250);
  }
}

// Creates, writes and flushes a new file at `path`; false with the last error set otherwise, and
// no file left.
bool WriteNewFile(const FilePath& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD error = ERROR_SUCCESS;
  while (!bytes.empty() && error == ERROR_SUCCESS) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      error = GetLastError();
    } else if (written == 0) {
      error = ERROR_WRITE_FAULT;
    } else {
      bytes.remove_prefix(written);
    }
  }
  if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
  if (error == ERROR_SUCCESS) return true;
  DeleteFileW(path.c_str());
  SetLastError(error);
  return false;
}

}  // namespace

FilePath ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw RunFailure("The program's own folder, where coordinates.dat is kept, can't be found: " +
                       LastSystemErrorText() + ".");
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      // The folder is everything before the last separator; the name is always a full path.
      const std::size_t separator = buffer.find_last_of(L"\\/");
      if (separator == std::wstring::npos) {
        throw RunFailure(
            "The program's own folder, where coordinates.dat is kept, can't be "
            "found: Windows named the program \"" +
            win32::Narrow(buffer) + "\", with no folder.");
      }
      return buffer.substr(0, separator);
    }
    buffer.resize(buffer.size() * 2);  // the path was cut: ask again with more room
  }
}

std::FILE* OpenForReading(const FilePath& path, bool& missing, std::string& reason) {
  // Shared all three ways, the read never holds up a grab replacing the file: delete access, which
  // a rename needs, is granted only while every opener shares FILE_SHARE_DELETE (the CreateFileW
  // page). The wait is for a program that shares less, as the writer waits.
  HANDLE file = INVALID_HANDLE_VALUE;
  const bool opened = RetryWhileBusy([&] {
    file = CreateFileW(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE;
  });
  if (!opened) {
    const DWORD code = GetLastError();
    missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    reason = SystemErrorText(code);
    return nullptr;
  }
  // The descriptor owns the handle from here, and the stream the descriptor: fclose closes all
  // three (the _open_osfhandle and _fdopen pages).
  const int descriptor =
      _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (descriptor == -1) {
    reason = Reason(errno);
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* const stream = _fdopen(descriptor, "rb");
  if (!stream) {
    reason = Reason(errno);
    _close(descriptor);
  }
  return stream;
}

std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary) {
  // The process id keeps two grabs at once apart; the random part, a name left by a process that
  // was killed and whose id came round again.
  std::random_device seed;
  std::minstd_rand random(seed());
  int names_tried = 0;
  const bool written = RetryWhileBusy([&] {
    for (;;) {
      temporary = TemporaryName<wchar_t>(target, GetCurrentProcessId(), random());
      if (WriteNewFile(temporary, bytes)) return true;
      const DWORD code = GetLastError();
      if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || ++names_tried > 100) {
        return false;
      }
    }
  });
  return written ? std::string() : LastSystemErrorText();
}

// What a rename over the file keeps is RenameOver's to say; nothing is written in place here.
bool KeepsWhatTheOwnerSet(const FilePath&, const FilePath&) { return true; }

std::string WriteInPlace(const FilePath&, std::string_view) {
  return "a file is not written in place on Windows";
}

std::string RenameOver(const FilePath& from, const FilePath& to) {
  const bool renamed = RetryWhileBusy([&] {
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  });
  return renamed ? std::string() : LastSystemErrorText();
}

void RemoveAbandonedTemporaries(const FilePath& target) {
  const std::size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  const std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
  const std::wstring fixed_name = name + L".tmp";
  FILETIME now_time{};
  GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& t) {  // 100 ns units
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const std::uint64_t now = ticks(now_time);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((target + L".*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const auto owner = TemporaryOwner<wchar_t>(name, found.cFileName);
    if ((!owner && found.cFileName != fixed_name) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }
    const std::uint64_t written = ticks(found.ftLastWriteTime);
    if (written > now || now - written < 10'000'000ULL * kLeftoverAge.count()) continue;
    // A process that is gone, or has ended, can't be writing; a live one may be right now, and
    // so may one that only looks ended (see kLeftoverAge).
    bool ended = true;
    if (owner) {
      HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(*owner));
      ended = process ? WaitForSingleObject(process, 0) == WAIT_OBJECT_0
                      : GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
      if (process) CloseHandle(process);
    }
    if (ended) DeleteFileW((folder + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::string FollowLinks(const FilePath& path, FilePath& target) {
  target = path;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return {};
  }
  // Opening the link opens the file at its end; the system then names that file. A link that
  // can't be opened (a loop, too long a chain, a missing file at its end) is refused with the
  // system's reason: renaming over the link would replace the link itself with a file.
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastSystemErrorText();
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (length >= final_path.size()) {
    final_path.resize(length);
    length = GetFinalPathNameByHandleW(file, final_path.data(),
                                       static_cast<DWORD>(final_path.size()), 0);
  }
  const DWORD error = length == 0 ? GetLastError() : ERROR_SUCCESS;
  CloseHandle(file);
  if (length == 0) return SystemErrorText(error);
  if (length >= final_path.size()) return SystemErrorText(ERROR_INSUFFICIENT_BUFFER);
  final_path.resize(length);
  target = final_path;
  return {};
}

bool IsReadOnly(const FilePath& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_READONLY);
}

FileKind KindOf(const FilePath& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;  // opening tells why
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return FileKind::kOther;
  return FileKind::kRegular;
}

void RemoveFileQuietly(const FilePath& path) { DeleteFileW(path.c_str()); }

FilePath PathFromUtf8(std::string_view text) { return win32::Widen(text); }

FilePath JoinPath(const FilePath& folder, const FilePath& name) { return folder + L'\\' + name; }

std::string PathText(const FilePath& path) { return win32::Narrow(path); }

}  // namespace shared
