#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

// The few file-system operations that differ between Windows and Linux. Paths are the platform's
// own strings, wide on Windows, so folders with non-ASCII names work everywhere. Not
// std::filesystem::path: on Windows it drags the whole C++ locale library (some 900 KB) into
// each program.
namespace shared {

#ifdef _WIN32
using FilePath = std::wstring;
#else
using FilePath = std::string;
#endif

// The folder that holds the running executable. Throws RunFailure when the platform can't say:
// any other folder would read or write the wrong coordinates.dat.
FilePath ProgramFolder();

// The system's wording for a C library error number (errno); some calls fail without one.
inline std::string Reason(int error_number) {
  return error_number != 0 ? std::strerror(error_number) : "the system gave no reason";
}

// Opens a file for binary reading. On failure returns nullptr, with `reason` the system's words
// and `missing` set when nothing stands at the path. On Windows a file another program holds
// without sharing, as a virus scanner does for a moment after a grab, is waited for up to 2 s.
std::FILE* OpenForReading(const FilePath& path, bool& missing, std::string& reason);

// Creates a new file beside `target`, under a name of this process's own (temporary_name.hpp;
// the file is created exclusively, so no other writer shares it), writes `bytes` and forces them to
// the disk before closing. On Linux the new file is no more open than `target`
// (KeepsWhatTheOwnerSet gives it the rest); with no `target` yet, it has the usual mode (0666 less
// the umask). Sets `temporary` to the new file's path. Returns an empty string on success,
// otherwise the system's reason; no file is left then. Sets `folder_closed` when the folder lets
// this user make no file in it (Linux: no write permission), where the file itself may still be
// written in place.
std::string WriteTemporaryBeside(const FilePath& target, std::string_view bytes,
                                 FilePath& temporary, bool& folder_closed);

// Gives `temporary` what the owner of `target` (an ordinary file, links followed, or none) set on
// it and a rename over it would lose, and says whether all of it is kept. On Linux: the owner and
// group, the mode, the extended attributes (ACLs among them) exactly; and false for a file with
// another name (a hard link), which would keep the old bytes. Where this process may not copy one
// (only root gives a file away; security.* attributes), false: the file is then to be written in
// place. On Windows always true: RenameOver chooses there.
bool KeepsWhatTheOwnerSet(const FilePath& target, const FilePath& temporary);

// How far a write in place got before it failed.
enum class InPlaceStage {
  kUntouched,      // not a byte changed
  kPartlyWritten,  // some of the new bytes are over the old ones
  kNotCut,         // the new bytes are there, the old file's tail after them
  kNotSynced,      // the new bytes and length are there; the disk not confirmed
};

// Writes `bytes` over the ordinary file `target` itself, keeping its inode and so its owner,
// links and attributes: the new bytes first, then the length, then a sync. Another writer's
// lock on the file is waited for up to 2 s; a file system without locks is written without one.
// A failure can leave a mix of old and new bytes (`reached` says how far it got). Refuses anything
// but an ordinary file. Returns an empty string on success, otherwise the reason.
std::string WriteInPlace(const FilePath& target, std::string_view bytes, InPlaceStage& reached);

// Removes the temporary files beside `target` that this program's writers, killed in mid-write,
// left behind: files of this user, named as temporary_name.hpp makes them, last written more than
// kLeftoverAge ago, whose writing process has certainly ended here. On Windows also the backups
// of ended writers once `target` is in place again. No other name is touched. Failures are not
// reported (this is tidying up).
void RemoveAbandonedTemporaries(const FilePath& target);

// The backup of `file` that a replace cut short (a power cut between Windows' two renames) left
// when no `file` stands there; the newest if several. Empty when there is none, and always on
// Linux, where a rename is one step.
FilePath LeftBackup(const FilePath& file);

// Who besides this user controls an open file, where another user could use it to steer this one.
struct FileControl {
  std::string owner;              // its owner, as "user \"name\" (uid)"; empty where not known
  bool owned_by_another = false;  // neither this user nor the administrator (root) owns it
  bool others_may_write = false;  // users besides its owner may write it
};
// On Linux from the file's owner and mode; on Windows nothing is found (the defaults).
FileControl ControlOf(std::FILE* stream);

// Sets `target` to the file `path` stands for once symbolic links are followed; `path` itself when
// it is none. On Linux a link to a file that doesn't exist yet gives the path it points at.
// Returns an empty string on success, otherwise the reason: a loop or too long a chain of links;
// on Linux a link another user planted in a shared folder (below); on Windows a link the system
// can't open or name, or a link of another kind (a WSL or container link).
//
// On Linux a link is followed only where the kernel's protected_symlinks rule would follow it,
// whether or not that rule is switched on: the link is this user's, or it does not stand in a
// sticky folder every user may write (such as /tmp), or the folder's owner owns it too.
std::string FollowLinks(const FilePath& path, FilePath& target);

// True when a file stands at `path` and its owner has made it read-only.
bool IsReadOnly(const FilePath& path);

// Puts `from` in the place of `to`. On failure returns the system's reason, and sets `in_place`
// where `to` can't be replaced but may still be written in place (WriteInPlace).
//
// Linux: a rename, one step: a reader sees either the old `to` or the new one. A file mounted
// over `to` (a bind mount) can't be renamed over: `in_place`.
//
// Windows: ReplaceFileW, two renames: the old file moves to a backup name of its own
// ("<name>.<process id>-<number>.bak"), then the new one into place, and the backup is deleted.
// A cut between them (a power cut, a pulled stick) leaves no `to` but the backup (LeftBackup).
// The new file gets Hidden and System from its creation beside the old one, and through
// ReplaceFileW its DACL, named streams, encryption and compression. Where the old file's DACL is
// only inherited from the folder, it is not copied (the new file inherits the same). Where it
// was set on the file and this user may not set one (no WRITE_DAC, as on a share with "Change"
// rights), `in_place`. What ReplaceFileW never keeps: the owner, the integrity label and other
// hard links.
std::string RenameOver(const FilePath& from, const FilePath& to, bool& in_place);

// What stands at a path.
enum class FileKind { kMissing, kRegular, kDirectory, kOther };
FileKind KindOf(const FilePath& path);

// Removes a file if it is there; a failure is not reported (the callers are cleaning up).
void RemoveFileQuietly(const FilePath& path);

// A path from UTF-8 text, converted by the platform rather than by the C++ locale library.
FilePath PathFromUtf8(std::string_view text);

// `folder`, the platform's separator, then `name`: the separator is always added.
FilePath JoinPath(const FilePath& folder, const FilePath& name);

// A path as UTF-8 text, for messages to the user.
std::string PathText(const FilePath& path);

}  // namespace shared
