#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "../file_system.hpp"

// How a grab puts its new file in the old one's place on Windows, and which reparse points it
// follows: the choices, apart from the calls that carry them out (ReplaceCalls), so that a unit
// test can make those calls answer as a share or a power cut would.
namespace shared::win32 {

// A virus scanner, the search indexer or a sync client opens a file for a moment right after it
// was written, and Windows then refuses to replace it with one of these. ReplaceFileW says the
// same with its own two codes, after which both files keep their names when a backup name was
// given (its page, "ReplaceFileW function (winbase.h)", Microsoft Learn).
inline bool IsBusy(DWORD code) {
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

// How the new file takes the old one's place.
enum class Replacement {
  kMove,                // no old file: a rename, replacing nothing
  kReplace,             // ReplaceFileW, the DACL copied
  kReplaceIgnoringAcl,  // ReplaceFileW with REPLACEFILE_IGNORE_ACL_ERRORS
  kInPlace,             // the old file written in place (WriteInPlace)
};

// `dacl_only_inherited`: the old file's DACL holds only what it inherits from its folder, which
// the new file inherits too. `may_write_dac`: this user may set the new file's DACL, which
// ReplaceFileW insists on (it opens the replacement with WRITE_DAC, its page says); on an SMB
// share with "Change" rights, a redirected folder or a home drive they may not.
Replacement ChooseReplacement(bool old_exists, bool dacl_only_inherited, bool may_write_dac);

// The Windows calls a replace makes. Each returns false with the last error set, as Windows does.
class ReplaceCalls {
 public:
  virtual ~ReplaceCalls() = default;
  virtual DWORD Attributes(const FilePath& path) = 0;  // GetFileAttributesW
  virtual bool DaclOnlyInherited(const FilePath& path) = 0;
  virtual bool MayWriteDac(const FilePath& path) = 0;
  virtual bool Replace(const FilePath& to, const FilePath& from, const FilePath& backup,
                       DWORD flags) = 0;                            // ReplaceFileW
  virtual bool Move(const FilePath& from, const FilePath& to) = 0;  // MoveFileExW, write-through
  virtual bool Delete(const FilePath& path) = 0;                    // DeleteFileW
  virtual FilePath OwnName(const FilePath& path, const char* suffix) = 0;  // temporary_name.hpp
};

// RenameOver through `calls`; see file_system.hpp.
std::string PutInPlace(ReplaceCalls& calls, const FilePath& from, const FilePath& to,
                       bool& in_place);

// What a reparse point is to a grab, by its tag ("Reparse Point Tags", Microsoft Learn).
enum class ReparseKind {
  kLink,     // a symbolic link or a mount point (a junction): followed
  kForeign,  // another name surrogate, which "represents another named entity" (MS-FSCC
             // 2.1.2.1): a WSL link, a container (WCI) link; Windows can't follow it: refused
  kSocket,   // an AF_UNIX socket: not an ordinary file
  kFile,     // a file a filter looks after (a cloud placeholder, deduplicated data): written
};
ReparseKind KindOfReparseTag(DWORD tag);

}  // namespace shared::win32
