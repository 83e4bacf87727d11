#include "replace_steps.hpp"

#include "../temporary_name.hpp"
#include "system_error_text.hpp"
#include "win32_text.hpp"

namespace shared::win32 {

Replacement ChooseReplacement(bool old_exists, bool dacl_only_inherited, bool may_write_dac) {
  if (!old_exists) return Replacement::kMove;
  // An inherited DACL is what the new file gets from the folder anyway: nothing to copy.
  if (dacl_only_inherited) return Replacement::kReplaceIgnoringAcl;
  // One set on the file is kept: by ReplaceFileW where it may copy it, otherwise in place.
  return may_write_dac ? Replacement::kReplace : Replacement::kInPlace;
}

std::string PutInPlace(ReplaceCalls& calls, const FilePath& from, const FilePath& to,
                       bool& in_place) {
  in_place = false;
  // A folder in the file's place is never moved aside to make room, as ReplaceFileW may do
  // (Wine's does): the grab fails as a rename over it would.
  const DWORD to_attributes = calls.Attributes(to);
  const bool exists = to_attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (to_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return SystemErrorText(ERROR_ACCESS_DENIED);
  }
  const Replacement way = ChooseReplacement(exists, exists && calls.DaclOnlyInherited(to),
                                            exists && calls.MayWriteDac(from));
  if (way == Replacement::kInPlace) {
    in_place = true;
    return "the permissions set on it can't be given to a new file here";
  }
  if (way == Replacement::kMove) {
    // Replacing nothing, so that a file made in the meantime is not lost.
    return RetryWhileBusy([&] { return calls.Move(from, to); }) ? std::string()
                                                                : LastSystemErrorText();
  }
  // ReplaceFileW, not MoveFileExW: a file moved into place has the folder's inherited ACL and
  // plain attributes, while ReplaceFileW gives the new file the old one's creation time, DACL,
  // encryption, compression and named streams ("ReplaceFileW function (winbase.h)", Microsoft
  // Learn, Remarks). It is two renames, not one: the old file to the backup name, then the new
  // one into place. So the backup has a name of its own, which the clean-up of temporary files
  // leaves alone and a reader finds (LeftBackup) while no file stands in its place; after a
  // success it is deleted.
  //
  // On failure the old file stays whole under its own name, by the page's list of error codes:
  // ERROR_UNABLE_TO_REMOVE_REPLACED, and ERROR_UNABLE_TO_MOVE_REPLACEMENT when a backup name is
  // given, leave both files under their names, as does any other error; only after
  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 is the old file under the backup name, and it is moved
  // back.
  const FilePath backup = calls.OwnName(to, kBackupSuffix);
  const DWORD flags = way == Replacement::kReplaceIgnoringAcl ? REPLACEFILE_IGNORE_ACL_ERRORS : 0;
  bool restore = false;
  const bool replaced = RetryWhileBusy([&] {
    if (calls.Replace(to, from, backup, flags)) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND && calls.Attributes(to) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      return calls.Move(from, to);  // the old file went meanwhile
    }
    restore = code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    SetLastError(code);
    return false;
  });
  if (replaced) {
    calls.Delete(backup);  // if it can't go now, RemoveAbandonedTemporaries takes it later
    return {};
  }
  std::string reason = LastSystemErrorText();
  if (restore && !calls.Move(backup, to) && calls.Attributes(to) == INVALID_FILE_ATTRIBUTES) {
    reason += "; the file as it was is now \"" + Narrow(backup) + "\"";
  }
  return reason;
}

ReparseKind KindOfReparseTag(DWORD tag) {
  // Not in MinGW-w64's headers: WSL's symbolic link and a Windows Container Isolation link.
  constexpr DWORD kLxSymlink = 0xA000001D;
  constexpr DWORD kWciLink = 0xA0000027;
  static_assert(IsReparseTagNameSurrogate(kLxSymlink) && IsReparseTagNameSurrogate(kWciLink));
  if (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT) return ReparseKind::kLink;
  if (tag == static_cast<DWORD>(IO_REPARSE_TAG_AF_UNIX)) return ReparseKind::kSocket;
  if (IsReparseTagNameSurrogate(tag)) return ReparseKind::kForeign;
  return ReparseKind::kFile;
}

}  // namespace shared::win32
