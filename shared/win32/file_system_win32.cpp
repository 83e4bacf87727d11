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
// was written, and Windows then refuses to replace it with one of these. ReplaceFileW says the
// same with its own two codes, after which both files keep their names when a backup name was
// given (its page, "ReplaceFileW function (winbase.h)", Microsoft Learn).
bool IsBusy(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_ACCESS_DENIED || code == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         code == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
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

// Creates, writes and flushes a new file at `path` with `attributes`; false with the last error
// set otherwise, and no file left.
bool WriteNewFile(const FilePath& path, std::string_view bytes, DWORD attributes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
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

namespace {

// One of this process's temporary names beside `target` (temporary_name.hpp). The process id
// keeps two grabs at once apart; the random part, a name left by a process that was killed and
// whose id came round again.
FilePath OwnTemporaryName(const FilePath& target) {
  static std::minstd_rand random(std::random_device{}());
  return TemporaryName<wchar_t>(target, GetCurrentProcessId(), random());
}

}  // namespace

std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary) {
  // Hidden and System, which the user may have set on the old file, are attributes a new file
  // takes at its creation (the CreateFileW page); ReplaceFileW keeps the rest (RenameOver).
  const DWORD old_attributes = GetFileAttributesW(target.c_str());
  const DWORD kept = old_attributes == INVALID_FILE_ATTRIBUTES
                         ? 0
                         : old_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const DWORD attributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
  int names_tried = 0;
  const bool written = RetryWhileBusy([&] {
    for (;;) {
      temporary = OwnTemporaryName(target);
      if (WriteNewFile(temporary, bytes, attributes)) return true;
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
  // ReplaceFileW, not MoveFileExW: a file moved into place has the folder's inherited ACL and
  // plain attributes, while ReplaceFileW gives the new file the old one's creation time, DACL,
  // encryption, compression and named streams ("ReplaceFileW function (winbase.h)", Microsoft
  // Learn, Remarks). Without REPLACEFILE_IGNORE_MERGE_ERRORS: where they can't be kept (no
  // WRITE_DAC on the old file), the grab fails and the old file stays as it is.
  //
  // On failure the old file stays whole under its own name, by the page's list of error codes:
  // ERROR_UNABLE_TO_REMOVE_REPLACED, and ERROR_UNABLE_TO_MOVE_REPLACEMENT when a backup name is
  // given, leave both files under their names, as does any other error; only after
  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 is the old file under the backup name, and it is moved
  // back. So a backup name is always given, one of this process's temporary names, so that a
  // backup left behind is tidied up like any leftover; after a success it is deleted.
  //
  // A folder in the file's place is never moved aside to make room, as ReplaceFileW may do
  // (Wine's does): the grab fails as a rename over it would.
  const DWORD to_attributes = GetFileAttributesW(to.c_str());
  if (to_attributes != INVALID_FILE_ATTRIBUTES && (to_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return SystemErrorText(ERROR_ACCESS_DENIED);
  }
  FilePath backup;
  do {
    backup = OwnTemporaryName(to);
  } while (GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES);
  bool restore = false;
  const bool replaced = RetryWhileBusy([&] {
    if (ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), 0, nullptr, nullptr)) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND && GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      // No file to replace yet: a new one has nothing the user set, and a rename is all it needs.
      // Without MOVEFILE_REPLACE_EXISTING, so that a file made in the meantime is not lost.
      return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    restore = code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    SetLastError(code);
    return false;
  });
  if (replaced) {
    DeleteFileW(backup.c_str());  // if it can't go now, RemoveAbandonedTemporaries takes it later
    return {};
  }
  std::string reason = LastSystemErrorText();
  if (restore && !MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) &&
      GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
    reason += "; the file as it was is now \"" + win32::Narrow(backup) + "\"";
  }
  return reason;
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
  // Only links are links: a symbolic link or a mount point (a junction). Other reparse points
  // hold a file a filter looks after, such as a cloud placeholder in a folder kept by a sync
  // client, and are written like any file. The tag is read from the reparse point itself,
  // opened with FILE_FLAG_OPEN_REPARSE_POINT so that nothing is followed or fetched
  // ("FILE_ATTRIBUTE_TAG_INFO structure" and "Reparse Point Tags", Microsoft Learn).
  HANDLE point = CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (point == INVALID_HANDLE_VALUE) return LastSystemErrorText();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool tagged =
      GetFileInformationByHandleEx(point, FileAttributeTagInfo, &tag, sizeof(tag)) != 0;
  const DWORD tag_error = tagged ? ERROR_SUCCESS : GetLastError();
  CloseHandle(point);
  if (!tagged) return SystemErrorText(tag_error);
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (tag.ReparseTag != IO_REPARSE_TAG_SYMLINK && tag.ReparseTag != IO_REPARSE_TAG_MOUNT_POINT)) {
    return {};
  }
  // Opening the link opens the file at its end, through at most 63 reparse points ("Programming
  // Considerations (Local File Systems)", Microsoft Learn); the system then names that file. A
  // link that can't be opened (a loop, too long a chain, a missing file at its end) is refused
  // with the system's reason: renaming over the link would replace the link itself with a file.
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
