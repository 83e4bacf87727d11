#include "../file_system.hpp"

#include <aclapi.h>
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
#include "replace_steps.hpp"
#include "system_error_text.hpp"
#include "win32_text.hpp"

namespace shared {
namespace {

using win32::RetryWhileBusy;

// Writes all of `bytes` to `file` from where it stands; ERROR_SUCCESS or the error.
DWORD WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return GetLastError();
    }
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

// Creates, writes and flushes a new file at `path` with `attributes`; false with the last error
// set otherwise, and no file left.
bool WriteNewFile(const FilePath& path, std::string_view bytes, DWORD attributes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD error = WriteAll(file, bytes);
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
FilePath OwnTemporaryName(const FilePath& target, const char* suffix = kTemporarySuffix) {
  static std::minstd_rand random(std::random_device{}());
  return TemporaryName<wchar_t>(target, GetCurrentProcessId(), random(), suffix);
}

// Whether the file's DACL holds only entries inherited from its folder: not protected from
// inheritance, and every entry marked inherited. False where it can't be read, or there is none.
bool DaclOnlyInherited(const FilePath& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool inherited = dacl != nullptr &&
                   GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                   !(control & SE_DACL_PROTECTED);
  for (DWORD i = 0; inherited && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    inherited = GetAce(dacl, i, &ace) && (static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE);
  }
  LocalFree(descriptor);
  return inherited;
}

// The calls themselves.
class SystemReplaceCalls : public win32::ReplaceCalls {
 public:
  DWORD Attributes(const FilePath& path) override { return GetFileAttributesW(path.c_str()); }
  bool DaclOnlyInherited(const FilePath& path) override { return shared::DaclOnlyInherited(path); }
  bool MayWriteDac(const FilePath& path) override {
    HANDLE file =
        CreateFileW(path.c_str(), WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }
  bool Replace(const FilePath& to, const FilePath& from, const FilePath& backup,
               DWORD flags) override {
    return ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), flags, nullptr, nullptr);
  }
  bool Move(const FilePath& from, const FilePath& to) override {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
  }
  bool Delete(const FilePath& path) override { return DeleteFileW(path.c_str()); }
  FilePath OwnName(const FilePath& path, const char* suffix) override {
    FilePath name;
    do {
      name = OwnTemporaryName(path, suffix);
    } while (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES);
    return name;
  }
};

// The reparse tag of what stands at `path`, which is a reparse point; 0 where it can't be read.
DWORD ReparseTag(const FilePath& path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return found.dwReserved0;  // the tag, for a reparse point (the WIN32_FIND_DATAW page)
}

}  // namespace

std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary, bool& folder_closed) {
  folder_closed = false;  // a folder that takes no file is reported, not gone round
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

// What a rename over the file keeps is RenameOver's to say.
bool KeepsWhatTheOwnerSet(const FilePath&, const FilePath&) { return true; }

std::string WriteInPlace(const FilePath& target, std::string_view bytes, InPlaceStage& reached) {
  reached = InPlaceStage::kUntouched;
  // Shared for reading only: another writer waits (as the grab waits for one, 2 s), and a reader
  // sees the old bytes, the new ones, or for a moment the new ones with the old tail.
  HANDLE file = INVALID_HANDLE_VALUE;
  const bool opened = RetryWhileBusy([&] {
    file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE;
  });
  if (!opened) return LastSystemErrorText();
  DWORD error = ERROR_SUCCESS;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return "it is not an ordinary file";
  }
  reached = InPlaceStage::kPartlyWritten;
  error = WriteAll(file, bytes);
  if (error == ERROR_SUCCESS) reached = InPlaceStage::kNotCut;
  if (error == ERROR_SUCCESS && !SetEndOfFile(file)) error = GetLastError();
  if (error == ERROR_SUCCESS) reached = InPlaceStage::kNotSynced;
  if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
  if (error == ERROR_SUCCESS) reached = InPlaceStage::kUntouched;
  return error == ERROR_SUCCESS ? std::string() : SystemErrorText(error);
}

std::string RenameOver(const FilePath& from, const FilePath& to, bool& in_place) {
  SystemReplaceCalls calls;
  return win32::PutInPlace(calls, from, to, in_place);
}

void RemoveAbandonedTemporaries(const FilePath& target) {
  const std::size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  const std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
  FILETIME now_time{};
  GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& t) {  // 100 ns units
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const std::uint64_t now = ticks(now_time);
  WIN32_FIND_DATAW found{};
  // A backup is the old file until the new one is in place: kept while no file stands there.
  const bool in_place = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
  HANDLE search = FindFirstFileW((target + L".*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    auto owner = TemporaryOwner<wchar_t>(name, found.cFileName);
    if (!owner && in_place) owner = TemporaryOwner<wchar_t>(name, found.cFileName, kBackupSuffix);
    if (!owner || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const std::uint64_t written = ticks(found.ftLastWriteTime);
    if (written > now || now - written < 10'000'000ULL * kLeftoverAge.count()) continue;
    // A process that is gone, or has ended, can't be writing; a live one may be right now, and
    // so may one that only looks ended (see kLeftoverAge).
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(*owner));
    const bool ended = process ? WaitForSingleObject(process, 0) == WAIT_OBJECT_0
                               : GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    if (process) CloseHandle(process);
    if (ended) DeleteFileW((folder + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

FilePath LeftBackup(const FilePath& file) {
  const std::size_t separator = file.find_last_of(L"\\/");
  const std::wstring folder = separator == std::wstring::npos ? L"" : file.substr(0, separator + 1);
  const std::wstring name = separator == std::wstring::npos ? file : file.substr(separator + 1);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((file + L".*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  FilePath newest;
  std::uint64_t newest_time = 0;
  do {
    const std::uint64_t written =
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
        found.ftLastWriteTime.dwLowDateTime;
    if (TemporaryOwner<wchar_t>(name, found.cFileName, kBackupSuffix) &&
        !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (newest.empty() || written > newest_time)) {
      newest = folder + found.cFileName;
      newest_time = written;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return newest;
}

// Whether another account could change the file is left to its ACL on Windows.
FileControl ControlOf(std::FILE*) { return {}; }

std::string FollowLinks(const FilePath& path, FilePath& target) {
  target = path;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return {};
  }
  // Only links are links: a symbolic link or a mount point (a junction). Other name surrogates
  // (a WSL link, a container link) stand for another file too, but Windows can't follow them
  // (win32::KindOfReparseTag): refused, not written over. Other reparse points hold a file a
  // filter looks after, such as a cloud placeholder in a folder kept by a sync client, and are
  // written like any file; a socket is KindOf's to refuse. The tag is read from the point itself,
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
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return {};
  const win32::ReparseKind kind = win32::KindOfReparseTag(tag.ReparseTag);
  if (kind == win32::ReparseKind::kForeign) {
    return "it is a link of a kind Windows programs can't follow (a WSL or container link)";
  }
  if (kind != win32::ReparseKind::kLink) return {};
  // Opening the link opens the file at its end, through at most 63 reparse points, or 31 when
  // the links name full paths ("Reparse Points", Microsoft Learn); the system then names that
  // file. A link that can't be opened (a loop, too long a chain, a missing file at its end) is
  // refused with the system's reason: renaming over the link would replace the link itself with
  // a file.
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
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      win32::KindOfReparseTag(ReparseTag(path)) == win32::ReparseKind::kSocket) {
    return FileKind::kOther;
  }
  return FileKind::kRegular;
}

void RemoveFileQuietly(const FilePath& path) { DeleteFileW(path.c_str()); }

FilePath PathFromUtf8(std::string_view text) { return win32::Widen(text); }

FilePath JoinPath(const FilePath& folder, const FilePath& name) { return folder + L'\\' + name; }

std::string PathText(const FilePath& path) { return win32::Narrow(path); }

}  // namespace shared
